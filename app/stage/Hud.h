// The head-up text: "FPS = N" and "Animation frame #N" centred near the top
// of the window, and any further line under them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "render/BitmapFont.h"

// Prints fpsText and "Animation frame #<frameIndex>" in white, centred by the
// 5-pixels-per-character rule, 16 and 32 pixels below the top edge of the
// window described by `screen`.
void DrawHud(BitmapFont& font, const std::string& fpsText, int32_t frameIndex);

// Prints `text` (font bytes, HudGlyphs) the same way with its lower edge
// `below` pixels under the top edge.
void DrawHudLine(BitmapFont& font, std::string_view text, int32_t below);

// "Animation frame #" followed by the frame number.
std::string AnimationText(int32_t frameIndex);

// Left edge of a HUD line: 5 pixels per character left of the centre.
int32_t HudTextX(int32_t halfWidth, std::string_view text);
// Lower edges of the two HUD lines, 16 and 32 pixels below the top edge.
int32_t HudFpsY(int32_t height);
int32_t HudAnimY(int32_t height);

// UTF-8 text as the font's bytes: the sheet holds Latin-1's printable
// characters (U+0020..U+007E, U+00A0..U+00FF), one glyph per byte; every
// other character, and every byte that is not valid UTF-8, becomes '?'.
std::string HudGlyphs(std::string_view utf8);
