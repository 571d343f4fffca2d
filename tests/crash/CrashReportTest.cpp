#include <gtest/gtest.h>
TEST(CrashReport, Placeholder) {}
