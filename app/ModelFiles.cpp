#include "app/ModelFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "app/WalkFrames.h"
#include "voxel/VoxScene.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EndsWithVox(const std::string& name) {
    if (name.size() < 5) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".vox";
}

// Palette entries are numbered from 1; BuildFrameList draws no cube for 0.
bool IsDrawn(const Voxel& v, const VoxelModel& model) {
    return v.colorIndex >= 1 && v.colorIndex <= model.palette.size();
}

std::string BaseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Appends the frames of one file: every frame of a scene or animation, or
// the one model of a Poly2Vox file, in the walk frames' orientation.
bool LoadFile(const std::string& path, std::vector<VoxelModel>& frames, std::string& error) {
    VoxelScene scene;
    if (!LoadVoxelScene(path.c_str(), scene, error)) return false;
    const int32_t count = VoxelSceneFrameCount(scene);
    for (int32_t frame = 0; frame < count; ++frame) {
        VoxelModel model;
        ComposeFrame(scene, frame, model);
        MirrorLikeReader(model);
        frames.push_back(std::move(model));
    }
    return true;
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

VoxelBounds PlaceFrames(std::vector<VoxelModel>& frames) {
    int64_t low[3] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                      std::numeric_limits<int32_t>::max()};
    int64_t high[3] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
                       std::numeric_limits<int32_t>::min()};
    bool any = false;
    for (VoxelModel& model : frames) {
        OrientFrame(model);
        for (const Voxel& v : model.voxels) {
            if (!IsDrawn(v, model)) continue;
            const int64_t p[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
            any = true;
        }
    }
    if (!any) return VoxelBounds{};
    // Floor of the midpoint, so odd and even widths both centre within a voxel.
    const int64_t shift[3] = {-((low[0] + high[0]) >> 1), -low[1], -((low[2] + high[2]) >> 1)};
    for (VoxelModel& model : frames) {
        for (Voxel& v : model.voxels) {
            v.x = static_cast<int32_t>(v.x + shift[0]);
            v.y = static_cast<int32_t>(v.y + shift[1]);
            v.z = static_cast<int32_t>(v.z + shift[2]);
        }
    }
    VoxelBounds b;
    b.minX = static_cast<int32_t>(low[0] + shift[0]);
    b.maxX = static_cast<int32_t>(high[0] + shift[0]);
    b.minY = 0;
    b.maxY = static_cast<int32_t>(high[1] + shift[1]);
    b.minZ = static_cast<int32_t>(low[2] + shift[2]);
    b.maxZ = static_cast<int32_t>(high[2] + shift[2]);
    return b;
}

bool LoadModelFrames(const std::string& path, LoadedModel& model, std::string& error) {
    model = LoadedModel{};
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> files;
        if (!ListVoxFiles(path, files, error)) return false;
        if (files.empty()) {
            error = path + ": no .vox files in this folder";
            return false;
        }
        for (const std::string& file : files) {
            if (!LoadFile(file, model.frames, error)) return false;
        }
    } else if (!LoadFile(path, model.frames, error)) {
        return false;
    }
    size_t drawn = 0;
    for (const VoxelModel& frame : model.frames) {
        for (const Voxel& v : frame.voxels) drawn += IsDrawn(v, frame) ? 1 : 0;
    }
    if (drawn == 0) {
        error = path + ": holds no voxels";
        model = LoadedModel{};
        return false;
    }
    model.bounds = PlaceFrames(model.frames);
    model.name = BaseName(path);
    return true;
}
