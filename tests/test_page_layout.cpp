// The page arithmetic of a build: pages, line steps and each picture's place, without a window
// or Word.
#include "PageLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

PageLayout Layout(int files, int perPage, int32_t lines) {
    PageLayout layout = PageLayout::ForFiles(files, perPage);
    layout.SetLinesPerPage(lines);
    return layout;
}

// The same on the page of a new Japanese A4 document, as Word answers it in Singles (points).
PageLayout OnA4(int files, int perPage, int32_t lines, float height = 841.9f, float top = 99.25f,
                float bottom = 85.05f) {
    PageLayout layout = Layout(files, perPage, lines);
    if (layout.HasPlaces())
        layout.SetPageHeight(height, top, bottom);
    return layout;
}

TEST(PageLayout, PagesAreRoundedUpAndLinesSpreadEvenly) {
    // Small grids type nothing or only what fits; without a line per page, or a line between two
    // pictures, no picture has a place of its own.
    const struct {
        int files, perPage;
        int32_t lines;
        int pageCount, lineStep, pageRemainder;
        int64_t paragraphs;
        bool places;
    } counts[] = {
        {5, 3, 36, 2, 12, 0, 71, true}, // the worked example
        {6, 3, 36, 2, 12, 0, 71, true}, {7, 3, 36, 3, 12, 0, 107, true},
        {7, 7, 36, 1, 5, 1, 35, true},  {11, 10, 36, 2, 3, 6, 71, true},
        {1, 1, 1, 1, 1, 0, 0, true},    {4, 3, 0, 2, 0, 0, 0, false},
        {11, 10, 5, 2, 0, 5, 9, false},
    };
    for (const auto& c : counts) {
        SCOPED_TRACE(std::to_string(c.files) + " files, " + std::to_string(c.perPage) +
                     " per page, " + std::to_string(c.lines) + " lines");
        const PageLayout layout = Layout(c.files, c.perPage, c.lines);
        EXPECT_EQ(layout.pageCount, c.pageCount);
        EXPECT_EQ(layout.lineStep, c.lineStep);
        EXPECT_EQ(layout.pageRemainder, c.pageRemainder);
        EXPECT_EQ(layout.paragraphs, c.paragraphs);
        EXPECT_EQ(layout.HasPlaces(), c.places);
    }

    // A place runs to the next anchor line; the last of a page takes the lines left at the foot.
    // 657.6 points of text on 36 lines: the grid's pitch is 18.25 points in whole twentieths.
    const struct {
        int perPage;
        int32_t lines;
        double pitch;
        std::vector<double> places; // for slots 1, 2, ... perPage
    } grids[] = {
        {3, 36, 18.25, {219, 219, 219}},
        {1, 36, 18.25, {657}},
        {7, 36, 18.25, {91.25, 91.25, 91.25, 91.25, 91.25, 91.25, 109.5}},
        {10, 36, 18.25, {54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 164.25}},
        {3, 40, 16.4, {213.2, 213.2, 229.6}},
        {3, 1, 657.6, {}}, // one line for three pictures: no places
    };
    for (const auto& g : grids) {
        SCOPED_TRACE(std::to_string(g.perPage) + " per page, " + std::to_string(g.lines) +
                     " lines");
        const PageLayout layout = OnA4(5, g.perPage, g.lines);
        EXPECT_EQ(layout.HasPlaces(), !g.places.empty());
        EXPECT_DOUBLE_EQ(layout.linePitch, g.places.empty() ? 0 : g.pitch);
        for (size_t i = 0; i < g.places.size(); ++i) {
            const int32_t slot = static_cast<int32_t>(i) + 1;
            EXPECT_NEAR(layout.SlotHeight(slot), g.places[i], 1e-9) << slot;
            // Only a picture taller than its place by more than a rounding error is scaled.
            EXPECT_FALSE(layout.Overflows(g.places[i] + 0.009, slot));
            EXPECT_TRUE(layout.Overflows(g.places[i] + 0.011, slot));
            EXPECT_FALSE(layout.Overflows(g.places[i] / 2, slot));
        }
    }
}

TEST(PageLayout, ExtremeGridsFromWordDoNotOverflow) {
    const PageLayout huge = Layout(30000, 1, INT32_MAX);
    EXPECT_EQ(huge.paragraphs, int64_t{30000} * INT32_MAX - 1);
    EXPECT_EQ(huge.lineStep, INT32_MAX);
    const PageLayout hugeThree = Layout(5, 3, INT32_MAX);
    EXPECT_EQ(hugeThree.lineStep, INT32_MAX / 3);
    EXPECT_EQ(hugeThree.pageRemainder, INT32_MAX % 3);

    // A negative grid moves nothing: no paragraphs, and counts below one mean no line moves.
    const PageLayout negative = Layout(5, 3, INT32_MIN);
    EXPECT_EQ(negative.paragraphs, 0);
    EXPECT_LE(negative.lineStep, 0);
    EXPECT_LE(negative.pageRemainder, 0);
    EXPECT_EQ(Layout(5, 3, -7).paragraphs, 0);
    EXPECT_FALSE(negative.HasPlaces());

    // Pages whose margins leave no room, or values that are no lengths: no place to fit into, so
    // nothing is ever scaled.
    const struct {
        const char* what;
        PageLayout layout;
    } nonsense[] = {
        {"margins filling the page", OnA4(5, 3, 36, 841.9f, 441.9f, 400.0f)},
        {"margins beyond the page", OnA4(5, 3, 36, 100.0f, 99.25f, 85.05f)},
        {"less than a twentieth of a point a line", OnA4(5, 3, 36, 1.0f, 0.0f, 0.0f)},
        {"not a number", OnA4(5, 3, 36, std::nanf(""))},
        {"infinite", OnA4(5, 3, 36, INFINITY)},
        {"more lines than twentieths", OnA4(5, 3, INT32_MAX)},
    };
    for (const auto& n : nonsense) {
        SCOPED_TRACE(n.what);
        EXPECT_EQ(n.layout.linePitch, 0.0);
        for (int32_t slot : {1, 3})
            EXPECT_FALSE(n.layout.Overflows(1e30, slot));
    }
}

TEST(PageLayout, PictureCountOutsideTheFieldRangeIsBroughtIntoIt) {
    // The field corrects itself when it loses the focus; a value read before that must not divide
    // by zero.
    EXPECT_EQ(PageLayout::ForFiles(5, 0).imagesPerPage, 1);
    EXPECT_EQ(PageLayout::ForFiles(5, 0).pageCount, 5);
    EXPECT_EQ(PageLayout::ForFiles(5, 99).imagesPerPage, 10);
    EXPECT_EQ(PageLayout::ForFiles(5, 99).pageCount, 1);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
