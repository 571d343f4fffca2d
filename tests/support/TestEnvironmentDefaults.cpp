// Compiled into a test executable that names variables of its own (taluvo_add_test ENVIRONMENT):
// sets them before main runs, so even static initialisers see them.
#include <cstdlib>
#include <string>

namespace {

struct ApplyEnvironment {
    ApplyEnvironment()
    {
        const std::string all = TALUVO_TEST_ENVIRONMENT;
        size_t start = 0;
        while (start <= all.size()) {
            const size_t end = all.find('\n', start);
            const std::string item = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const size_t eq = item.find('=');
            if (eq != std::string::npos)
                setenv(item.substr(0, eq).c_str(), item.substr(eq + 1).c_str(), 1);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
};
// Before every other static initialiser of the program and its libraries (the tracer reads its INI
// file from the program's folder in the first of them), whatever the order of the objects.
ApplyEnvironment applyEnvironment __attribute__((init_priority(101)));

} // namespace
