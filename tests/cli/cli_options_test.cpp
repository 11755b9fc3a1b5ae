// Option rules of the voxaro command: which values each option takes, how
// they land in the view's state, and which options fit which files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_options.h"

namespace voxaro {
namespace {

// Parses the options that follow "voxaro render FILE OUT".
bool ParseRender(std::vector<std::string> args, TRenderOptions& o, std::string& error)
{
    args.insert(args.begin(), {"voxaro", "render", "FILE", "OUT"});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    return ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), 4, o, error);
}

bool ParseThumbnail(std::vector<std::string> args, TThumbnailOptions& o, std::string& error)
{
    args.insert(args.begin(), {"voxaro", "thumbnail", "FILE", "OUT"});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    return ParseThumbnailOptions(static_cast<int>(argv.size()), argv.data(), 4, o, error);
}

// Each switch turns exactly its own check box of the panel, starting from the
// boxes a load leaves: print and lighting checked, the rest not.
TEST(RenderOptions, SwitchesAreThePanelsCheckBoxes)
{
    using TView = TGCodeViewOptions;
    const struct {
        const char* Name;
        bool TView::*Box;
        bool Checked;
    } cases[] = {
        {"--travel", &TView::ShowTravel, true},     {"--no-print", &TView::ShowPrint, false},
        {"--support", &TView::ShowSupport, true},   {"--color-by-layer", &TView::ColorByLayer, true},
        {"--no-lighting", &TView::Lighting, false}, {"--axes", &TView::Axes, true},
        {"--edges", &TView::Edges, true},
    };
    bool TView::*const boxes[] = {&TView::ShowTravel, &TView::ShowPrint, &TView::ColorByLayer, &TView::ShowSupport,
                                  &TView::Lighting,   &TView::Axes,      &TView::Edges};
    for (const auto& c : cases) {
        TRenderOptions o;
        std::string error;
        ASSERT_TRUE(ParseRender({c.Name}, o, error)) << error;
        for (bool TView::*box : boxes) {
            const bool afterLoad = box == &TView::ShowPrint || box == &TView::Lighting;
            EXPECT_EQ(o.View.*box, box == c.Box ? c.Checked : afterLoad) << c.Name;
        }
        EXPECT_EQ(o.GCodeOption, c.Name);
    }
}

TEST(RenderOptions, Values)
{
    TRenderOptions o;
    std::string error;
    ASSERT_TRUE(ParseRender({"--size", "640x1", "--layer", "0", "--line-width", "0.44", "--view", "side"}, o, error));
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 1);
    EXPECT_EQ(o.Layer, 0);
    EXPECT_DOUBLE_EQ(o.LineWidth, 0.4);  // the slider's steps of 0.1 mm
    EXPECT_EQ(o.Preset, TViewPreset::Side);
    ASSERT_TRUE(ParseRender({"--layer", "7", "--layer", "all", "--line-width", "4", "--mode", "2"}, o, error));
    EXPECT_EQ(o.Layer, -1);
    EXPECT_DOUBLE_EQ(o.LineWidth, 4.0);
    EXPECT_EQ(o.Mode, 2);

    const std::vector<std::vector<std::string>> bad = {
        {"--size", "0x10"},
        {"--size", "16385x10"},
        {"--size", "640x"},
        {"--size", "640x480px"},
        {"--size", "640"},
        {"--mode", "3"},
        {"--mode", "-1"},
        {"--layer", "-1"},
        {"--layer", "2147483648"},
        {"--layer", "1.5"},
        {"--line-width", "0.09"},
        {"--line-width", "4.01"},
        {"--line-width", "wide"},
        {"--view", "bottom"},
        {"--view", "TOP"},
        {"--size"},
        {"--layer"},
        {"-travel"},
        {"--travel=1"},
        {""},
    };
    for (const auto& args : bad) {
        TRenderOptions any;
        EXPECT_FALSE(ParseRender(args, any, error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(error.empty());
    }
}

TEST(RenderOptions, OptionsThatDoNotFitTheFile)
{
    std::string error;
    TRenderOptions model, toolpath, thumb, any;
    ASSERT_TRUE(ParseRender({"--dark", "--size", "10x10"}, model, error));
    ASSERT_TRUE(ParseRender({"--size", "10x10", "--layer", "3", "--axes"}, toolpath, error));
    ASSERT_TRUE(ParseRender({"--thumb", "--axes"}, thumb, error));
    ASSERT_TRUE(ParseRender({"--thumb", "--size", "10x10"}, any, error));
    EXPECT_EQ(MisfitOption(model, false), "");
    EXPECT_EQ(MisfitOption(model, true), "--dark is for models, not G-code files");
    EXPECT_EQ(MisfitOption(toolpath, true), "");
    EXPECT_EQ(MisfitOption(toolpath, false), "--layer is for G-code files only");
    EXPECT_EQ(MisfitOption(thumb, true), "--axes does not go with --thumb: the thumbnail has fixed settings");
    EXPECT_EQ(MisfitOption(any, true), "");
    EXPECT_EQ(MisfitOption(any, false), "");
}

TEST(ThumbnailOptions, SizeAndTimeBudget)
{
    TThumbnailOptions o;
    std::string error;
    ASSERT_TRUE(ParseThumbnail({}, o, error));
    EXPECT_EQ(o.Size, 256);
    EXPECT_DOUBLE_EQ(o.Timeout, 5.0);
    ASSERT_TRUE(ParseThumbnail({"--timeout", "0", "--size", "1024"}, o, error));
    EXPECT_EQ(o.Size, 1024);
    EXPECT_DOUBLE_EQ(o.Timeout, 0.0);
    const std::vector<std::vector<std::string>> bad = {
        {"--size", "0"}, {"--size", "128x128"}, {"--size"}, {"--timeout", "-1"}, {"--timeout", "soon"}, {"--dark"},
    };
    for (const auto& args : bad) {
        TThumbnailOptions any;
        EXPECT_FALSE(ParseThumbnail(args, any, error)) << args[0];
    }
}

}  // namespace
}  // namespace voxaro
