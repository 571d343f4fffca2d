// A library stripped of its symbol tables: the report names a frame in it by module, load segment
// and offset. Only CrashEntry is exported; the function that faults is not.
namespace {

__attribute__((noinline)) int FaultWithoutSymbol(volatile int* target)
{
    return *target + 1;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int CrashWithoutSymbols()
{
    return FaultWithoutSymbol(nullptr);
}
