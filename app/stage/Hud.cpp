#include "app/stage/Hud.h"

#include "render/Screen.h"

namespace {

// Alpha 20 is clamped to 1 by GL, so the glyphs keep the sheet's alpha;
// scale 0 means the font's glyph size.
void PrintHudText(BitmapFont& font, std::string_view text, int32_t y) {
    PrintText(font, text, static_cast<float>(HudTextX(screen.halfWidth, text)), static_cast<float>(y), 1.0f, 1.0f, 1.0f,
              20.0f, 0.0f, 0.0f);
}

bool HasGlyph(uint32_t codePoint) {
    return (codePoint >= 0x20 && codePoint <= 0x7e) || (codePoint >= 0xa0 && codePoint <= 0xff);
}

}  // namespace

void DrawHud(BitmapFont& font, const std::string& fpsText, int32_t frameIndex) {
    BeginText(font);
    PrintHudText(font, fpsText, HudFpsY(screen.height));
    PrintHudText(font, AnimationText(frameIndex), HudAnimY(screen.height));
    EndText(font);
}

void DrawHudLine(BitmapFont& font, std::string_view text, int32_t below) {
    BeginText(font);
    PrintHudText(font, text, screen.height - below);
    EndText(font);
}

std::string AnimationText(int32_t frameIndex) { return "Animation frame #" + std::to_string(frameIndex); }

int32_t HudTextX(int32_t halfWidth, std::string_view text) { return halfWidth - 5 * static_cast<int32_t>(text.size()); }

int32_t HudFpsY(int32_t height) { return height - 16; }

int32_t HudAnimY(int32_t height) { return height - 32; }

std::string HudGlyphs(std::string_view utf8) {
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const uint8_t lead = static_cast<uint8_t>(utf8[i]);
        // Sequence length and the smallest code point it may carry (no overlong forms).
        const int length = lead < 0x80             ? 1
                           : (lead & 0xe0) == 0xc0 ? 2
                           : (lead & 0xf0) == 0xe0 ? 3
                           : (lead & 0xf8) == 0xf0 ? 4
                                                   : 0;
        static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
        uint32_t codePoint = length == 1 ? lead : lead & (0x7f >> length);
        int taken = length == 0 ? 0 : 1;
        while (taken > 0 && taken < length && i + taken < utf8.size() &&
               (static_cast<uint8_t>(utf8[i + taken]) & 0xc0) == 0x80) {
            codePoint = codePoint << 6 | (static_cast<uint8_t>(utf8[i + taken]) & 0x3f);
            ++taken;
        }
        const bool valid = length > 0 && taken == length && codePoint >= kLeast[length] && codePoint <= 0x10ffff &&
                           !(codePoint >= 0xd800 && codePoint <= 0xdfff);
        out += valid && HasGlyph(codePoint) ? static_cast<char>(codePoint) : '?';
        i += valid ? length : 1;  // a broken sequence costs one '?' per byte
    }
    return out;
}
