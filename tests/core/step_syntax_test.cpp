// STEP clear text into the entity table: sections, instance texts over
// several lines, comments, complex instances, parameters, references, numbers
// and identifiers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "step_scene.h"
#include "step_test_util.h"

namespace voxaro {
namespace {

struct TParsed {
    TStepScene Scene;
    explicit TParsed(const std::string& text)
    {
        FillBuffer(Scene, text);
        ParseStepFile(Scene);
        BuildIdIndex(Scene);
    }
    const TStepEntity* Find(int id) const { return Scene.At(FindEntity(Scene, id)); }
    std::vector<std::string> Params(int id) const
    {
        std::vector<std::string> out;
        const TStepEntity* e = Find(id);
        for (uint32_t k = 0; e && k < e->ParamCount; ++k)
            out.emplace_back(Scene.Param(*e, k));
        return out;
    }
};

using Strings = std::vector<std::string>;

TEST(StepSyntax, OnlyDataSectionsAreRead)
{
    TParsed p("ISO-10303-21;\nHEADER;\n#1=FILE_NAME('x');\nENDSEC;\n  data;  \n#2=LINE('a');\nENDSEC;\n"
              "#3=LINE('between');\nDATA ;\n#4=LINE('blank');\nDATA('x');\n#5=LINE('keyword');\nDATA;\n"
              "#6=DIRECTION('',(0.,0.,1.));\nENDSEC;\n");
    EXPECT_EQ(p.Scene.EntityCount, 2);
    EXPECT_TRUE(p.Find(2));
    EXPECT_TRUE(p.Find(6));
    for (int id : {1, 3, 4, 5})
        EXPECT_FALSE(p.Find(id)) << id;
}

TEST(StepSyntax, InstanceTexts)
{
    TParsed p(StepFile("#5=CARTESIAN_POINT('',(0.,\n   1.,2.));\n"
                       "#12 = cartesian_point ( '' , ( 0. , 0. , 0. ) ) ;\n"
                       "#7=LINE(1);#8=LINE(2);\n"
                       "#9=A(1);/* a comment */\n#10=B(2);\n"
                       "#11=C(1,\n/* skipped */\n2);\n"
                       "#0=LINE(3);\n#x=LINE(4);\n#13=NOPARENS;\n#14=D((1);\n#15=((2);\n"
                       "#16=(REPRESENTATION_RELATIONSHIP('','',#5,#9)SHAPE_REPRESENTATION_RELATIONSHIP());\n"
                       "#17=LINE('first');\n#17=LINE('second');\n"));
    EXPECT_EQ(p.Params(5), (Strings{"''", "(0., 1.,2.)"}));  // lines joined by one space
    ASSERT_TRUE(p.Find(12));
    EXPECT_EQ(p.Find(12)->TypeCode, stCartesianPoint);
    EXPECT_EQ(p.Params(12), (Strings{"''", "( 0. , 0. , 0. )"}));
    EXPECT_TRUE(p.Find(7));
    EXPECT_FALSE(p.Find(8));  // a second instance on one line is lost
    EXPECT_EQ(p.Params(9), Strings{"1"});
    EXPECT_FALSE(p.Find(10));  // swallowed: the comment kept the first one open
    EXPECT_EQ(p.Params(11), (Strings{"1", "2"}));
    EXPECT_FALSE(p.Find(0));
    EXPECT_FALSE(p.Find(13));
    ASSERT_TRUE(p.Find(14));  // unbalanced: stored without parameters
    EXPECT_EQ(p.Find(14)->ParamCount, 0u);
    EXPECT_FALSE(p.Find(15));  // unbalanced complex instance: dropped
    ASSERT_TRUE(p.Find(16));
    EXPECT_EQ(p.Find(16)->TypeCode, stComplex);
    EXPECT_EQ(p.Scene.Raw(*p.Find(16)), "REPRESENTATION_RELATIONSHIP('','',#5,#9)SHAPE_REPRESENTATION_RELATIONSHIP()");
    EXPECT_EQ(p.Params(17), Strings{"'second'"});  // the later of two equal identifiers
    EXPECT_TRUE(TParsed("\xEF\xBB\xBF"
                        "DATA;\n#1=LINE(1);\n")
                    .Find(1));  // a byte-order mark is skipped
}

TEST(StepSyntax, ParameterSplittingAndValues)
{
    std::vector<std::string_view> list;
    auto split = [&](const char* text) {
        SplitParams(text, list);
        return Strings(list.begin(), list.end());
    };
    EXPECT_EQ(split("a,,b"), (Strings{"a", "", "b"}));
    EXPECT_EQ(split("a,b,"), (Strings{"a", "b"}));
    EXPECT_EQ(split(" (1,2) , #3 "), (Strings{"(1,2)", "#3"}));
    EXPECT_EQ(split("'Part, 2',#4"), (Strings{"'Part", "2'", "#4"}));  // quotes are not recognised

    EXPECT_EQ(ParseRef(" #42 "), 42);
    EXPECT_EQ(ParseRef("#7)"), 7);
    EXPECT_EQ(ParseRef("#"), 0);
    for (const char* none : {"$", "*", ".T.", "'#1'", "", "42", "#99999999999"})
        EXPECT_EQ(ParseRef(none), -1) << none;

    EXPECT_EQ(StepStrToFloat("1."), 1.0);
    EXPECT_EQ(StepStrToFloat("1.E-3"), 1e-3);
    EXPECT_EQ(StepStrToFloat("-2.5e2"), -250.0);
    EXPECT_EQ(StepStrToFloat("1,5"), 1.5);
    for (const char* none : {"abc", "", "1.2.3", "1e999", ".T."})
        EXPECT_EQ(StepStrToFloat(none), 0.0) << none;
}

TEST(StepSyntax, IdentifiersFarApartCostNoMoreThanTheInstances)
{
    TParsed p(StepFile("#2000000000=LINE('far');\n#3=LINE('near');\n#2147483647=LINE('last');\n"));
    EXPECT_EQ(p.Scene.MaxId(), 2147483647);
    EXPECT_EQ(p.Params(2000000000), Strings{"'far'"});
    EXPECT_EQ(p.Params(2147483647), Strings{"'last'"});
    EXPECT_EQ(p.Params(3), Strings{"'near'"});
    EXPECT_EQ(FindEntity(p.Scene, 4), -1);
    EXPECT_EQ(FindEntity(p.Scene, 1999999999), -1);
    EXPECT_FALSE(TParsed(StepFile("#2147483648=LINE(1);\n")).Find(1));  // beyond 32 bits: dropped
}

TEST(StepSyntax, IdentifiersSharingTheirLowBitsSpreadOverTheHash)
{
    const int32_t count = 4000;
    TPodArray<TStepEntity> entities;
    ASSERT_TRUE(entities.Resize(count));
    for (int32_t k = 0; k < count; ++k)
        entities[static_cast<size_t>(k)] = TStepEntity{0, (k + 1) * 65536, 0, 0, stOther};
    TStepIdIndex index;
    index.Build(entities, count);
    for (int32_t k = 0; k < count; ++k)
        ASSERT_EQ(index.Find((k + 1) * 65536), k);
    EXPECT_EQ(index.Find(65537), -1);
    // Half-full linear probing: a run of a few dozen slots at the very most, not one of thousands.
    EXPECT_GT(index.LongestProbe(), 0u);
    EXPECT_LE(index.LongestProbe(), 40u);
}

}  // namespace
}  // namespace voxaro
