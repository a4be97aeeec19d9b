#include "copy/CopyLayout.h"
#include "copy/CopyPlanner.h"
#include "report/Report.h"

#include <gtest/gtest.h>

namespace halvetrop {
namespace {

FileResult file(std::string day, std::string camera, std::string folder) {
    FileResult f;
    f.day = std::move(day);
    f.camera = std::move(camera);
    f.folder = std::move(folder);
    f.name = "IMG_0001.JPG";
    return f;
}

TEST(CopyLayout, TemplatesAndEquality) {
    EXPECT_EQ(CopyLayout::keepCardStructure().pathTemplate(), "{folder}");
    EXPECT_EQ(CopyLayout::nextToShoot().pathTemplate(), "{YYYY}/{date}");
    EXPECT_EQ(CopyLayout::besideShoot("edits").pathTemplate(), "{YYYY}/{date}");
    EXPECT_EQ(CopyLayout::byDate().pathTemplate(), "{YYYY}/{date}");
    EXPECT_EQ(CopyLayout::custom("{camera}/x").pathTemplate(), "{camera}/x");
    EXPECT_EQ(CopyLayout::besideShoot("a"), CopyLayout::besideShoot("a"));
    EXPECT_NE(CopyLayout::besideShoot("a"), CopyLayout::besideShoot("b"));
    EXPECT_NE(CopyLayout::custom("a"), CopyLayout::besideShoot("a"));
    EXPECT_EQ(std::hash<CopyLayout>{}(CopyLayout::custom("x")), std::hash<CopyLayout>{}(CopyLayout::custom("x")));
}

TEST(CopyLayout, EncodedFormRoundTrips) {
    using nlohmann::json;
    EXPECT_EQ(CopyLayout::custom("{YYYY}").encode(), json::parse(R"({"custom":{"_0":"{YYYY}"}})"));
    EXPECT_EQ(CopyLayout::besideShoot("edits").encode(), json::parse(R"({"besideShoot":{"suffix":"edits"}})"));
    EXPECT_EQ(CopyLayout::byDate().encode(), json::parse(R"({"byDate":{}})"));
    for (const auto& layout : {CopyLayout::keepCardStructure(), CopyLayout::nextToShoot(), CopyLayout::besideShoot("x y"),
                               CopyLayout::byDate(), CopyLayout::custom("{card}/{folder}")})
        EXPECT_EQ(CopyLayout::decode(layout.encode()), layout);
    // Keys that are not case names are not counted.
    EXPECT_EQ(CopyLayout::decode(json::parse(R"({"byDate":{},"other":1})")), CopyLayout::byDate());
}

TEST(CopyLayout, DecodingRefusals) {
    using nlohmann::json;
    for (const char* text : {R"({})", R"({"byDate":{},"custom":{"_0":"x"}})", R"({"other":{}})"}) {
        try {
            CopyLayout::decode(json::parse(text));
            ADD_FAILURE() << text;
        } catch (const CopyLayoutDecodeError& e) {
            EXPECT_STREQ(e.what(), "Invalid number of keys found, expected one.");
            EXPECT_EQ(e.typeName, "CopyLayout");
        }
    }
    // The coder's own errors for a bad payload.
    for (const char* text : {R"({"custom":{}})", R"({"custom":{"_0":3}})", R"({"besideShoot":{"suf":"x"}})", R"({"byDate":3})", R"([1])"}) {
        EXPECT_THROW(CopyLayout::decode(json::parse(text)), nlohmann::json::exception) << text;
    }
}

TEST(PathTemplate, Expansion) {
    struct Row {
        std::string pathTemplate;
        FileResult file;
        std::string card;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"{YYYY}/{date}", file("2024-05-17", "", ""), "", "2024/2024-05-17"},
        {"{YYYY}/{date}", file("", "", ""), "", "0000"},
        {"{YYYY}-{MM}-{DD}/{date}", file("2024", "", ""), "", "0000-00-00/2024"},
        {"{YYYY}/{MM}/{DD}", file("2024--05-17", "", ""), "", "2024/05/17"},
        {"{folder}", file("2024-05-17", "", "DCIM/100CANON"), "", "DCIM/100CANON"},
        {"{folder}", file("2024-05-17", "", ""), "", ""},
        {"{camera}", file("", "EOS R5/Mark", ""), "", "EOS R5-Mark"},
        {"{camera}", file("", "", ""), "", "Unknown camera"},
        {"{card}/x", file("", "", ""), "EOS:DIGITAL", "EOS-DIGITAL/x"},
        {"{card}/x", file("", "", ""), "A/B", "A-B/x"},
        {"{yyyy}/{Date}", file("2024-05-17", "", ""), "", "{yyyy}/{Date}"},
        {"../x", file("", "", ""), "", "x"},
        {"/x", file("", "", ""), "", "x"},
        {"./../.", file("", "", ""), "", ""},
        // A camera whose name holds a later token shows that token's value.
        {"{camera}", file("", "{card}", ""), "CARD", "CARD"},
        // Characters FAT and exFAT refuse become "-".
        {"{camera}", file("", "A\\B*C?D\"E<F>G|H", ""), "", "A-B-C-D-E-F-G-H"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CopyPlanner::expand(row.pathTemplate, row.file, row.card), row.expected) << row.pathTemplate;
}

TEST(PathTemplate, Sanitize) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"/a//b/", "a/b"},
        {"a:b", "a-b"},
        {"  padded  /x", "padded/x"},
        {"\t\xE2\x80\x83wide space\xC2\xA0", "wide space"},  // tab, em space, no-break space
        {"   /\x01\x1F\x7F/x", "x"},
        {"a\x01" "b\x7F" "c", "abc"},
        {"\xC2\x85next line", "\xC2\x85next line"},  // C1 controls stay
        {"..hidden/.x", "hidden/x"},
        {". a", " a"},  // trimmed before the dots go
        {"a.b/c.", "a.b/c."},
        {"../../etc", "etc"},
        {"..", ""},
        {"", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(CopyPlanner::sanitizePath(in), out) << in;
}

TEST(PathTemplate, Sibling) {
    EXPECT_EQ(CopyPlanner::sibling("Shoots/Wedding", "edits"), "Shoots/Wedding edits");
    EXPECT_EQ(CopyPlanner::sibling("Shoots/Wedding/", "edits"), "Shoots/Wedding edits");
    EXPECT_EQ(CopyPlanner::sibling("", "edits"), "edits");
    EXPECT_EQ(CopyPlanner::sibling("///", "a/b"), "a-b");
    EXPECT_EQ(CopyPlanner::sibling("a/b", "x/y"), "a/b x-y");
    EXPECT_EQ(CopyPlanner::sibling("a/b", ""), "a/b");
    EXPECT_EQ(CopyPlanner::sibling("a/b", "   "), "a/b");
}

TEST(PathTemplate, Numbered) {
    EXPECT_EQ(CopyPlanner::numbered("IMG_0001.JPG", 2), "IMG_0001 (2).JPG");
    EXPECT_EQ(CopyPlanner::numbered("name", 3), "name (3)");
    EXPECT_EQ(CopyPlanner::numbered("archive.tar.gz", 2), "archive.tar (2).gz");
    EXPECT_EQ(CopyPlanner::numbered(".hidden", 2), ".hidden (2)");
    EXPECT_EQ(CopyPlanner::numbered("dot.", 2), "dot. (2)");
    EXPECT_EQ(CopyPlanner::numbered("a.b", 12), "a (12).b");

    // Near the 255-byte limit the stem gives way, never inside a character; number and extension stay.
    auto times = [](const std::string& piece, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += piece;
        return out;
    };
    const std::string e = "\xC3\xA9";  // é, 2 bytes
    EXPECT_EQ(CopyPlanner::numbered(times(e, 125) + "x.JPG", 2), times(e, 123) + " (2).JPG");
    EXPECT_EQ(CopyPlanner::numbered(times(e, 123) + "x.JPG", 10), times(e, 123) + " (10).JPG");
    EXPECT_EQ(CopyPlanner::numbered(std::string(255, 'a'), 2), std::string(251, 'a') + " (2)");
    // An extension that leaves no room for the stem is cut with the rest of the name.
    EXPECT_EQ(CopyPlanner::numbered("a." + std::string(250, 'x'), 2), "a." + std::string(249, 'x') + " (2)");
}

}  // namespace
}  // namespace halvetrop
