// Moving pictures of a model without a display: `voxwalk --animate` writes an
// animated PNG or a GIF, `voxwalk --sheet` a sprite sheet and a JSON file
// that describes it.
//
// Every picture is a snapshot: each one is drawn by the same renderer and
// clock as `voxwalk --snapshot` with the same picture options at its frame
// (--frame) and turn (--angle), so any of them can be rendered alone. An
// animation plays the model's frames in place, once each per loop; a still
// model, or any model with --turntable, turns 360 degrees about the vertical
// through its middle in equal steps while its frames go on playing (so
// --frames N-N turns one pose), the camera and the light standing still.
// A sheet has a row per direction (the model turned by equal angles from
// --view) and a column per frame.
//
// Frames are rendered one at a time and streamed into the encoders, so memory
// does not grow with their number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/view/CommandLine.h"

// The widest and tallest sheet, in pixels: as large as a browser's canvas
// goes, and a bound on the band of cells held while it is written.
constexpr int32_t kMaxSheetSide = 32767;

enum class AnimationFormat { Apng, Gif };

// One picture: the model's frame (from 0) and the degrees it is turned.
struct PictureMoment {
    int32_t frame = 0;
    double angle = 0.0;
};

// The pictures of an animation.
struct AnimationPlan {
    int32_t first = 0, last = 0;  // the model's frames played, from 0, inclusive
    int32_t pictures = 1;         // pictures in the file
    int32_t turnSteps = 0;        // steps of a whole turn; 0 when the model does not turn
};

// The cells of a sprite sheet.
struct SheetLayout {
    int32_t cellWidth = 0, cellHeight = 0;
    int32_t rows = 1, columns = 1;
    int32_t firstFrame = 0;      // the model's frame of column 0, from 0
    std::vector<double> angles;  // degrees the model is turned in each row
    int32_t fps = 30;
    ViewName view = ViewName::Window;
};

// The format a file name asks for: .png or .apng is an APNG, .gif a GIF (any
// case), "-" an APNG. False for any other name.
bool AnimationFormatOf(const std::string& output, AnimationFormat& format);

// What --animate shows of a model of frameCount frames. False + one line
// when --frames asks for frames the model does not have.
bool PlanAnimation(const Options& options, int32_t frameCount, AnimationPlan& plan, std::string& error);

// Picture k of the plan: frame first + k mod the range, turned k / turnSteps
// of a whole turn.
PictureMoment MomentOf(const AnimationPlan& plan, int32_t k);

// The sheet of --sheet for a model of frameCount frames. False + one line
// when --frames asks for frames the model does not have or the sheet would
// be larger than kMaxSheetSide.
bool PlanSheet(const Options& options, int32_t frameCount, SheetLayout& layout, std::string& error);

// The JSON file of a sheet whose picture is named `image`: the cell size,
// rows and columns, each row's angle, each column's frame (from 1), the
// frame rate and the view.
std::string SheetJson(const SheetLayout& layout, const std::string& image);

// The sheet's JSON file beside its picture: OUT.png becomes OUT.json (any
// case), any other name gets ".json" added.
std::string SheetJsonPath(const std::string& output);

// Renders the pictures offscreen and streams them into options.output.
// Returns 0, kExitUsage for a format or frames the model cannot give,
// kExitInput when the model cannot be read, nothing can be rendered or the
// output cannot be written (nothing is left behind then).
int RunAnimate(const Options& options);

// Renders the sheet offscreen into options.output and its JSON file; both
// appear or neither. Statuses as RunAnimate's.
int RunSheet(const Options& options);
