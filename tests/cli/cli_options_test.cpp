// Option rules of the voxaro command: the values each option refuses and
// which options fit which files. (What the values it takes do shows in the
// command's pictures.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_options.h"

namespace voxaro {
namespace {

// Parses the options after "voxaro COMMAND FILE OUT".
template <typename TOptions, typename TParse>
bool Parse(TParse parse, std::vector<std::string> args, TOptions& o, std::string& error)
{
    args.insert(args.begin(), {"voxaro", "command", "FILE", "OUT"});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    return parse(static_cast<int>(argv.size()), argv.data(), 4, o, error);
}

TEST(CommandOptions, Values)
{
    std::string error;
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--size", "0x10"},
                                                                                     {"--size", "16385x10"},
                                                                                     {"--size", "640x"},
                                                                                     {"--size", "640x480px"},
                                                                                     {"--mode", "3"},
                                                                                     {"--layer", "2147483648"},
                                                                                     {"--layer", "1.5"},
                                                                                     {"--line-width", "0.09"},
                                                                                     {"--line-width", "4.01"},
                                                                                     {"--view", "TOP"},
                                                                                     {"--layer"},
                                                                                     {"-travel"},
                                                                                     {"--travel=1"}}) {
        TRenderOptions any;
        EXPECT_FALSE(Parse(ParseRenderOptions, bad, any, error)) << bad[0] << " " << bad.back();
    }

    TThumbnailOptions t;
    ASSERT_TRUE(Parse(ParseThumbnailOptions, {}, t, error));
    EXPECT_EQ(t.Size, 256);
    EXPECT_DOUBLE_EQ(t.Timeout, 5.0);
    ASSERT_TRUE(Parse(ParseThumbnailOptions, {"--timeout", "0", "--size", "1024"}, t, error));
    EXPECT_EQ(t.Size, 1024);
    EXPECT_DOUBLE_EQ(t.Timeout, 0.0);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--size", "128x128"}, {"--size"}, {"--timeout", "-1"}, {"--timeout", "soon"}, {"--dark"}}) {
        TThumbnailOptions any;
        EXPECT_FALSE(Parse(ParseThumbnailOptions, bad, any, error)) << bad[0];
    }
}

TEST(CommandOptions, OptionsThatDoNotFitTheFile)
{
    auto misfit = [](std::vector<std::string> args, bool gcode) {
        TRenderOptions o;
        std::string error;
        EXPECT_TRUE(Parse(ParseRenderOptions, args, o, error));
        return MisfitOption(o, gcode);
    };
    EXPECT_EQ(misfit({"--dark", "--size", "10x10"}, false), "");
    EXPECT_EQ(misfit({"--mode", "1", "--dark"}, true), "--mode is for models, not G-code files");
    EXPECT_EQ(misfit({"--size", "10x10", "--layer", "3", "--axes"}, true), "");
    EXPECT_EQ(misfit({"--layer", "3", "--axes"}, false), "--layer is for G-code files only");
    EXPECT_EQ(misfit({"--thumb", "--axes"}, true), "--axes does not go with --thumb: the thumbnail has fixed settings");
    EXPECT_EQ(misfit({"--thumb", "--size", "10x10"}, true) + misfit({"--thumb"}, false), "");
}

}  // namespace
}  // namespace voxaro
