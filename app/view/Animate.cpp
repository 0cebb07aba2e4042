#include "app/view/Animate.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
#include <span>

#include "app/export/GifWrite.h"
#include "app/export/Output.h"
#include "app/view/ModelScene.h"
#include "app/view/Snapshot.h"
#include "png/ApngWrite.h"
#include "png/PngStream.h"

namespace {

// Whether `text` ends in `end` (lower case), ignoring ASCII case.
bool EndsWithNoCase(const std::string& text, const char* end) {
    const size_t n = std::strlen(end);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = text[text.size() - n + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != end[i]) return false;
    }
    return true;
}

// The model's frames --frames asks for, from 0. False + one line when it
// has fewer.
bool FrameRange(const Options& options, int32_t frameCount, int32_t& first, int32_t& last, std::string& error) {
    const int32_t lastAsked = options.lastFrame == 0 ? frameCount : options.lastFrame;
    if (options.firstFrame > frameCount || lastAsked > frameCount) {
        error = FramesMissing("frames " + std::to_string(options.firstFrame) + "-" + std::to_string(lastAsked),
                              options.path, frameCount);
        return false;
    }
    first = options.firstFrame - 1;
    last = lastAsked - 1;
    return true;
}

// The snapshot's own clock for the moment, so each picture is that snapshot.
ModelClock MomentClock(const Options& options, const PictureMoment& moment, int32_t frameCount,
                       const PictureRenderer& renderer) {
    Options snapshot = options;
    snapshot.frame = moment.frame + 1;
    snapshot.time = -1.0;
    snapshot.angle = moment.angle;
    return SnapshotClock(snapshot, frameCount, renderer.motion, renderer.scale);
}

// Opens the renderer for the run's pictures. False after one line on stderr.
bool OpenRenderer(PictureRenderer& renderer, LoadedModel& model, const Options& options, bool turning) {
    PictureSettings settings = PictureSettingsOf(options);
    settings.turning = turning;
    std::string error;
    if (OpenPictureRenderer(renderer, model, settings, error)) return true;
    Report(error);
    return false;
}

// Either encoder behind one interface.
struct AnimationWriter {
    AnimationFormat format = AnimationFormat::Apng;
    ApngWriter apng;
    GifWriter gif;
    std::vector<uint8_t> rgba;  // an opaque picture made R, G, B, A for the GIF writer
    uint16_t fps = 30;
};

// Starts the file: frames and plays for the APNG, RGB unless transparent.
bool BeginAnimation(AnimationWriter& w, const Options& options, const AnimationPlan& plan,
                    std::function<bool(const uint8_t*, size_t)> sink, std::string& error) {
    w.fps = static_cast<uint16_t>(options.fps);
    if (w.format == AnimationFormat::Gif) {
        return GifBegin(w.gif, {options.width, options.height, static_cast<uint32_t>(options.loops)}, sink, error);
    }
    ApngSettings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.channels = options.background == BackgroundKind::Transparent ? 4 : 3;
    settings.frameCount = static_cast<uint32_t>(plan.pictures);
    settings.plays = static_cast<uint32_t>(options.loops);
    return ApngBegin(w.apng, settings, sink, error);
}

// Adds a rendered picture with a delay of 1/fps.
bool AddAnimationFrame(AnimationWriter& w, const Picture& picture, std::string& error) {
    if (w.format == AnimationFormat::Apng) return ApngAddFrame(w.apng, picture.pixels.data(), {1, w.fps}, error);
    const uint8_t* rgba = picture.pixels.data();
    if (picture.channels == 3) {
        const size_t count = picture.pixels.size() / 3;
        w.rgba.resize(4 * count);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(&w.rgba[4 * i], &picture.pixels[3 * i], 3);
            w.rgba[4 * i + 3] = 255;
        }
        rgba = w.rgba.data();
    }
    return GifAddFrame(w.gif, rgba, {1, w.fps}, error);
}

// Ends the file.
bool FinishAnimation(AnimationWriter& w, std::string& error) {
    return w.format == AnimationFormat::Apng ? ApngFinish(w.apng, error) : GifFinish(w.gif, error);
}

// The --view name, as the sheet's JSON gives it.
const char* ViewText(ViewName view) {
    switch (view) {
        case ViewName::Front: return "front";
        case ViewName::Side: return "side";
        case ViewName::Top: return "top";
        case ViewName::Iso: return "iso";
        case ViewName::Window: break;
    }
    return "window";
}

}  // namespace

bool AnimationFormatOf(const std::string& output, AnimationFormat& format) {
    if (output == "-" || EndsWithNoCase(output, ".png") || EndsWithNoCase(output, ".apng")) {
        format = AnimationFormat::Apng;
        return true;
    }
    if (EndsWithNoCase(output, ".gif")) {
        format = AnimationFormat::Gif;
        return true;
    }
    return false;
}

bool PlanAnimation(const Options& options, int32_t frameCount, AnimationPlan& plan, std::string& error) {
    plan = AnimationPlan{};
    if (!FrameRange(options, frameCount, plan.first, plan.last, error)) return false;
    const bool turns = options.turntable || frameCount == 1;
    plan.turnSteps = turns ? options.turntableSteps : 0;
    plan.pictures = turns ? options.turntableSteps : plan.last - plan.first + 1;
    return true;
}

PictureMoment MomentOf(const AnimationPlan& plan, int32_t k) {
    PictureMoment moment;
    moment.frame = plan.first + k % (plan.last - plan.first + 1);
    // A whole number of degrees times k over the steps, rounded once as
    // `--angle` reads the same decimal.
    if (plan.turnSteps > 0) moment.angle = k * 360.0 / plan.turnSteps;
    return moment;
}

bool PlanSheet(const Options& options, int32_t frameCount, SheetLayout& layout, std::string& error) {
    layout = SheetLayout{};
    int32_t first = 0, last = 0;
    if (!FrameRange(options, frameCount, first, last, error)) return false;
    layout.cellWidth = options.width;
    layout.cellHeight = options.height;
    layout.rows = options.directions;
    layout.columns = last - first + 1;
    layout.firstFrame = first;
    for (int32_t r = 0; r < layout.rows; ++r) layout.angles.push_back(r * 360.0 / layout.rows);
    layout.fps = options.fps;
    layout.view = options.view;
    const int64_t width = int64_t{layout.columns} * layout.cellWidth;
    const int64_t height = int64_t{layout.rows} * layout.cellHeight;
    if (width > kMaxSheetSide || height > kMaxSheetSide) {
        error = "a sheet of " + std::to_string(layout.columns) + " x " + std::to_string(layout.rows) + " cells of " +
                std::to_string(layout.cellWidth) + "x" + std::to_string(layout.cellHeight) + " would be " +
                std::to_string(width) + "x" + std::to_string(height) + " pixels, over " +
                std::to_string(kMaxSheetSide) + " a side; use a smaller --size or fewer --frames";
        return false;
    }
    return true;
}

std::string SheetJson(const SheetLayout& layout, const std::string& image) {
    nlohmann::ordered_json json;
    json["image"] = image;
    json["cell_width"] = layout.cellWidth;
    json["cell_height"] = layout.cellHeight;
    json["rows"] = layout.rows;
    json["columns"] = layout.columns;
    json["angles"] = layout.angles;
    std::vector<int32_t> frames;
    for (int32_t c = 0; c < layout.columns; ++c) frames.push_back(layout.firstFrame + c + 1);
    json["frames"] = frames;
    json["fps"] = layout.fps;
    json["view"] = ViewText(layout.view);
    // A file name need not be UTF-8: replace what is not rather than fail.
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string SheetJsonPath(const std::string& output) {
    return (EndsWithNoCase(output, ".png") ? output.substr(0, output.size() - 4) : output) + ".json";
}

int RunAnimate(const Options& options) {
    AnimationWriter writer;
    if (!AnimationFormatOf(options.output, writer.format)) {
        return ReportUsage(options.output + ": an animation is written as .png (APNG) or .gif");
    }
    LoadedModel model;
    if (!LoadForViewing(options.path, model)) return kExitInput;
    const int32_t count = static_cast<int32_t>(model.frames.size());
    AnimationPlan plan;
    std::string error;
    if (!PlanAnimation(options, count, plan, error)) return ReportUsage(error);
    OutputSet outputs(model.files);
    std::FILE* file = outputs.Open(options.output, error);
    if (file == nullptr) {
        Report(error);
        return kExitInput;
    }
    PictureRenderer renderer;
    if (!OpenRenderer(renderer, model, options, plan.turnSteps > 0)) return kExitInput;
    std::string written;  // why the output refused bytes, if it did
    bool ok = BeginAnimation(
        writer, options, plan,
        [&](const uint8_t* bytes, size_t length) { return outputs.Write(file, bytes, length, written); }, error);
    Picture picture;
    for (int32_t k = 0; ok && k < plan.pictures; ++k) {
        const PictureMoment moment = MomentOf(plan, k);
        RenderPicture(renderer, MomentClock(options, moment, count, renderer), picture);
        // One frame's lists at a time: a long animation must not gather them all.
        if (k + 1 == plan.pictures || MomentOf(plan, k + 1).frame != moment.frame) {
            ReleasePictureFrame(renderer, moment.frame);
        }
        ok = AddAnimationFrame(writer, picture, error);
    }
    ok = ok && FinishAnimation(writer, error);
    ClosePictureRenderer(renderer);
    if (ok && outputs.Commit(written)) return 0;
    Report(!written.empty() ? written : options.output + ": " + error);
    return kExitInput;
}

int RunSheet(const Options& options) {
    if (options.output == "-") {
        return ReportUsage("a sheet is a picture and a JSON file beside it: give '--sheet' a file name, not '-'");
    }
    LoadedModel model;
    if (!LoadForViewing(options.path, model)) return kExitInput;
    const int32_t count = static_cast<int32_t>(model.frames.size());
    SheetLayout layout;
    std::string error;
    if (!PlanSheet(options, count, layout, error)) return ReportUsage(error);
    const std::string jsonPath = SheetJsonPath(options.output);
    OutputFile sheet, data;
    if (!PrepareOutput(options.output, model.files, sheet, error) ||
        !PrepareOutput(jsonPath, model.files, data, error)) {
        Report(error);
        return kExitInput;
    }
    if (sheet.target == data.target) {
        Report(options.output + ": is the file '" + jsonPath + "' would replace; choose another output");
        return kExitInput;
    }
    OutputSet outputs(model.files);
    std::FILE* const files[2] = {outputs.Open(options.output, error), outputs.Open(jsonPath, error)};
    if (files[0] == nullptr || files[1] == nullptr) {
        Report(error);
        return kExitInput;
    }
    PictureRenderer renderer;
    if (!OpenRenderer(renderer, model, options, layout.rows > 1)) return kExitInput;
    std::string written;
    PngStreamWriter png;
    const int channels = options.background == BackgroundKind::Transparent ? 4 : 3;
    const int32_t width = layout.columns * layout.cellWidth;
    bool ok = PngStreamBegin(
        png, width, layout.rows * layout.cellHeight, channels, PngCompression::Fast,
        [&](const uint8_t* bytes, size_t length) { return outputs.Write(files[0], bytes, length, written); }, error);
    // One row of cells at a time: the sheet is never whole in memory.
    const size_t cellRow = static_cast<size_t>(layout.cellWidth) * channels;
    const size_t bandRow = static_cast<size_t>(width) * channels;
    std::vector<uint8_t> band(bandRow * static_cast<size_t>(layout.cellHeight));
    Picture picture;
    for (int32_t r = 0; ok && r < layout.rows; ++r) {
        for (int32_t c = 0; c < layout.columns; ++c) {
            const PictureMoment moment{layout.firstFrame + c, layout.angles[static_cast<size_t>(r)]};
            RenderPicture(renderer, MomentClock(options, moment, count, renderer), picture);
            // Every row shows every frame: the lists go with the last row.
            if (r + 1 == layout.rows && layout.columns > 1) ReleasePictureFrame(renderer, moment.frame);
            for (int32_t y = 0; y < layout.cellHeight; ++y) {
                std::memcpy(&band[bandRow * static_cast<size_t>(y) + cellRow * static_cast<size_t>(c)],
                            &picture.pixels[cellRow * static_cast<size_t>(y)], cellRow);
            }
        }
        ok = PngStreamAddRows(png, band.data(), layout.cellHeight, bandRow, error);
    }
    ok = ok && PngStreamFinish(png, error);
    ClosePictureRenderer(renderer);
    const std::string image = options.output.substr(options.output.rfind('/') + 1);  // npos + 1: all of it
    const std::string json = SheetJson(layout, image);
    ok = ok && outputs.Write(files[1], json.data(), json.size(), written);
    if (ok && outputs.Commit(written)) return 0;
    Report(!written.empty() ? written : options.output + ": " + error);
    return kExitInput;
}
