#include "app/command_line.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

TEST(CommandLine, Placeholder) { EXPECT_TRUE(ParseCommandLine({}).settings.has_value()); }

}  // namespace
}  // namespace quarnel
