// What the stage decides without GL: which characters the HUD can show, and
// where each kind of program looks for its assets.
#include <gtest/gtest.h>

#include "app/stage/Assets.h"
#include "app/stage/Hud.h"

namespace {

TEST(Hud, TextInTheFontsGlyphsWithAQuestionMarkForAnythingElse) {
    const struct {
        std::string utf8, glyphs;
    } rows[] = {
        {"walk_12.vox", "walk_12.vox"},
        {"caf\xc3\xa9 \xc3\xbf", "caf\xe9 \xff"},  // U+00E9, U+00FF: in the sheet
        {"\xe2\x82\xac", "?"},                     // U+20AC: beyond Latin-1
        {"\xc4\x80", "?"},                         // U+0100: the first beyond the sheet
        {"\xf0\x9f\x98\x80!", "?!"},               // four bytes
        {"a\xc2\x85z", "a?z"},                     // U+0085: a control, no glyph
        {"\x07\x7f", "??"},
        {"\xff\xfe", "??"},       // not UTF-8 at all
        {"\xc3(", "?("},          // cut sequence: one '?', the next byte kept
        {"\xc0\xaf", "??"},       // overlong '/'
        {"\xed\xa0\x80", "???"},  // a surrogate
        {"\xe2\x82", "??"},       // cut by the end
    };
    for (const auto& row : rows) EXPECT_EQ(HudGlyphs(row.utf8), row.glyphs) << row.utf8;
}

TEST(Assets, TheSourceTreeOnlyForAProgramInsideItsBuildFolder) {
    const std::string build = VOXWALK_BINARY_DIR, source = std::string(VOXWALK_SOURCE_DIR) + "/";
    const struct {
        std::string executable, installed, sourceTree;
    } rows[] = {
        {"/usr/bin/voxwalk", "/usr/share/voxwalk/", ""},
        {"/opt/x/bin/voxwalk", "/opt/x/share/voxwalk/", ""},
        {build + "/app/voxwalk", "", source},
        {build + "/../elsewhere/voxwalk", "", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        const AssetPlaces places = AssetPlacesFor(row.executable);
        if (!row.installed.empty()) {
            EXPECT_EQ(places.installed, row.installed) << row.executable;
        }
        EXPECT_EQ(places.sourceTree, row.sourceTree) << row.executable;
    }
}

}  // namespace
