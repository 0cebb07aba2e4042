// Start-up without GL: the extension loader's decisions and log for handed-in
// drivers, and InitGL without a display.
#include <regex>

#include "support/GlFixture.h"

namespace {

// The fake driver has every entry point, bar glActiveStencilFaceEXT when
// `noStencilFace`, and `units` texture units.
int32_t units = 0;
bool noStencilFace = false;
void Stub() {}
GLProc Lookup(const char* name) { return noStencilFace && !strcmp(name, "glActiveStencilFaceEXT") ? nullptr : Stub; }
int32_t Integer(uint32_t parameter) { return parameter == GL_MAX_TEXTURE_UNITS_ARB ? units : -1; }

const char* const kNothingSupported =
    "GL_EXT_framebuffer_object is NOT supported\nGL_ARB_multitexture is NOT supported\n"
    "GL_ARB_shading_language_100 is NOT supported\nglActiveStencilFaceEXT is NOT supported\n";

}  // namespace

// Every feature found is the real driver's case (GLSetupTest). In order: each
// driver also shows that nothing of the one before survives.
TEST(LoadExtensionsFrom, DecidesAndLogsForEachDriver) {
    // {extensions (null: no string, lookup or integer query), units, no stencil face, Found, the log after the names}
    const std::tuple<const char*, int32_t, bool, const char*, const char*> drivers[] = {
        {"GL_ARB_multitexture GL_EXT_texture_filter_anisotropic GL_ARB_vertex_buffer_object", 3, true, "101100 15 3",
         "GL_EXT_framebuffer_object is NOT supported\nGL_ARB_multitexture is supported\n3 Texture units supported\n"
         "GL_ARB_shading_language_100 is NOT supported\nglActiveStencilFaceEXT is NOT supported\n"},
        {"GL_ARB_multitexture GL_ARB_shading_language_100 GL_ARB_fragment_program GL_EXT_framebuffer_object_blit", 2,
         false, "010001 15 2",  // a name inside a longer one counts
         "GL_EXT_framebuffer_object is supported\nGL_ARB_multitexture is supported\n2 Texture units supported\n"
         "Insufficient texture units for multitexture support\nGL_ARB_shading_language_100 is supported\n"
         "GL_ARB_vertex_program is NOT supported\nglActiveStencilFaceEXT is supported\n"},
        {nullptr, 0, false, "000000 0 0", kNothingSupported},
    };
    for (const auto& [names, driverUnits, noStencil, found, expected] : drivers) {
        units = driverUnits;
        noStencilFace = noStencil;
        LogCapture log;
        LoadExtensionsFrom(names, names ? Lookup : nullptr, names ? Integer : nullptr);
        // The names come first, one a line, each with the space that ended it.
        EXPECT_EQ(log.text(), std::regex_replace(names ? names : "", std::regex(" "), " \n") + "\n" + expected);
        EXPECT_EQ(Found(glExtensions), found);
    }
    EXPECT_EQ(HasExtension(nullptr, "GL") + HasExtension("GL", nullptr), 0);  // null lists and names are empty
}

TEST(NoWindow, StartUpRunsOnWithEveryFeatureMissingAndEndsAfterOneFrame) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    int result = 0;
    std::string out, err;
    {  // standard output, which the log channel copies, and standard error
        LogCapture outCapture(1), errCapture(2);
        result = InitGL(1023, 767, 32, 0, 2, 0);  // an odd size: the halves round down
        out = outCapture.text();
        err = errCapture.text();
    }
    PresentWindow();  // the loop's present, with nothing to present
    EXPECT_EQ(close(screen.logFile), 0) << "the log channel is a descriptor of its own";
    EXPECT_EQ(std::tuple(result, out, err.find('\n') + 1, screen.halfWidth, screen.halfHeight, screen.glVersion[0]),
              std::tuple(1, "\n" + std::string(kNothingSupported), err.size(), 511, 383, '\0'));
    EXPECT_NE(err.find("DISPLAY"), std::string::npos) << err;
    EXPECT_EQ(std::tuple(Found(glExtensions), HasWindow(), IsEscapeDown()), std::tuple("000000 0 0", 0, 1));
}
