#include "app/view/ModelFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EndsWithVox(const std::string& name) {
    if (name.size() < 5) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".vox";
}

// Palette entries are numbered from 1; colour index 0 is an empty cell.
bool IsDrawn(const Voxel& v, const VoxelModel& model) {
    return v.colorIndex >= 1 && v.colorIndex <= model.palette.size();
}

std::string BaseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Appends every frame of one file's scene (a scene, an animation, one model)
// in the viewer's axes, placed together.
void AppendFrames(const VoxelScene& scene, LoadedModel& model) {
    const size_t first = model.frames.size();
    const int32_t count = VoxelSceneFrameCount(scene);
    for (int32_t frame = 0; frame < count; ++frame) {
        VoxelModel composed;
        ComposeFrame(scene, frame, composed);
        ToViewerAxes(composed);
        model.frames.push_back(std::move(composed));
    }
    PlaceFrames(std::span(model.frames).subspan(first));
}

VoxelBounds BoundsOf(std::span<const VoxelModel> frames, bool& any) {
    int32_t low[3] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                      std::numeric_limits<int32_t>::max()};
    int32_t high[3] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
                       std::numeric_limits<int32_t>::min()};
    any = false;
    for (const VoxelModel& model : frames) {
        for (const Voxel& v : model.voxels) {
            if (!IsDrawn(v, model)) continue;
            const int32_t p[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], p[k]), high[k] = std::max(high[k], p[k]);
            any = true;
        }
    }
    return any ? VoxelBounds{low[0], high[0], low[1], high[1], low[2], high[2]} : VoxelBounds{};
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    int zerosTieBreak = 0;  // fewer leading zeros first, once all else is equal
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ia = i, jb = j;
            while (ia < a.size() && a[ia] == '0') ++ia;
            while (jb < b.size() && b[jb] == '0') ++jb;
            size_t ea = ia, eb = jb;
            while (ea < a.size() && IsDigit(a[ea])) ++ea;
            while (eb < b.size() && IsDigit(b[eb])) ++eb;
            // Without leading zeros the longer run is the larger number.
            if (ea - ia != eb - jb) return ea - ia < eb - jb;
            const int order = a.substr(ia, ea - ia).compare(b.substr(jb, eb - jb));
            if (order != 0) return order < 0;
            if (zerosTieBreak == 0 && (ia - i) != (jb - j)) zerosTieBreak = (ia - i) < (jb - j) ? -1 : 1;
            i = ea;
            j = eb;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return zerosTieBreak < 0;
}

bool ListVoxFiles(const std::string& folder, std::vector<std::string>& files, std::string& error) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (EndsWithVox(name)) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), NaturalLess);
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    files.clear();
    for (const std::string& name : names) {
        struct stat info {};
        const std::string path = prefix + name;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) files.push_back(path);
    }
    return true;
}

void ToViewerAxes(VoxelModel& frame) {
    // A quarter turn about x, no mirror: the composer bounds every cell well
    // inside int32, so the negation cannot overflow.
    for (Voxel& v : frame.voxels) {
        const int32_t y = v.y;
        v.y = v.z;
        v.z = -y;
    }
}

VoxelBounds PlaceFrames(std::span<VoxelModel> frames) {
    bool any = false;
    const VoxelBounds box = BoundsOf(frames, any);
    if (!any) return VoxelBounds{};
    // Floor of the midpoint, so odd and even widths both centre within a voxel.
    const int64_t shift[3] = {-((int64_t{box.minX} + box.maxX) >> 1), -int64_t{box.minY},
                              -((int64_t{box.minZ} + box.maxZ) >> 1)};
    for (VoxelModel& model : frames) {
        for (Voxel& v : model.voxels) {
            v.x = static_cast<int32_t>(v.x + shift[0]);
            v.y = static_cast<int32_t>(v.y + shift[1]);
            v.z = static_cast<int32_t>(v.z + shift[2]);
        }
    }
    return BoundsOf(frames, any);
}

bool HasOwnMotion(const VoxelScene& scene) {
    for (const VoxelSceneNode& node : scene.nodes) {
        for (const VoxelTransformKey& key : node.transformKeys) {
            const VoxelTransformKey& first = node.transformKeys.front();
            if (key.rotation != first.rotation || key.x != first.x || key.y != first.y || key.z != first.z) {
                return true;
            }
        }
    }
    return false;
}

bool LoadModelScenes(const std::string& path, std::vector<VoxelScene>& scenes, std::vector<std::string>& files,
                     std::string& error) {
    scenes.clear();
    files.clear();
    if (path.empty()) {
        error = "the model's name is empty";
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        if (!ListVoxFiles(path, files, error)) return false;
        if (files.empty()) {
            error = path + ": no .vox files in this folder";
            return false;
        }
    } else {
        files.push_back(path);
    }
    scenes.resize(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (!LoadVoxelScene(files[i].c_str(), scenes[i], error)) return false;
    }
    return true;
}

bool LoadModelFrames(const std::string& path, LoadedModel& model, std::string& error) {
    model = LoadedModel{};
    std::vector<VoxelScene> scenes;
    if (!LoadModelScenes(path, scenes, model.files, error)) return false;
    // Separate files of a folder share no frame of reference: each is placed
    // on its own, and none of them moves by its keys.
    for (const VoxelScene& scene : scenes) AppendFrames(scene, model);
    model.ownMotion = scenes.size() == 1 && HasOwnMotion(scenes[0]);
    bool any = false;
    model.bounds = BoundsOf(model.frames, any);
    if (!any) {
        error = path + ": holds no voxels";
        model = LoadedModel{};
        return false;
    }
    model.name = BaseName(path);
    return true;
}
