// Off-screen render targets (GL_EXT_framebuffer_object) and the stencil
// helpers of stencil shadow volumes.
//
// A RenderTarget is a framebuffer object with one RGBA colour texture and an
// optional depth renderbuffer. The caller provides the record zero-filled and
// owns it; the record owns its GL objects from CreateRenderTarget until
// DestroyRenderTarget. The colour texture is an ordinary texture the caller
// may bind to draw what was rendered. Without framebuffer-object support
// (glExtensions.glBindFramebufferEXT null) nothing is created and drawing
// stays on the window.
//
// Stencil shadows: BeginStencilPass, draw the shadow volumes with the stencil
// operations of your choice, set the shadow colour (alpha = strength) and
// call screen.shadowQuadList: every pixel with a non-zero stencil value is
// darkened and the scene pass's state comes back.
#pragma once

#include <cstdint>

struct RenderTarget {
    uint32_t framebuffer = 0;   // framebuffer object; 0 = none
    uint32_t depthBuffer = 0;   // depth renderbuffer; 0 = none
    uint32_t colorTexture = 0;  // RGBA texture, nearest filtering, clamped
    int32_t width = 0;          // pixels; stored only when creation succeeded
    int32_t height = 0;
};

// Builds the framebuffer: colour texture, then (withDepth not 0) a depth
// renderbuffer. Returns 1 when complete, with the framebuffer unbound and the
// size stored. Returns 0 without framebuffer objects, or when one of the
// entry points it needs is missing (nothing made in either case), or when
// the framebuffer is incomplete: then it stays bound and every object made
// is in `target` for DestroyRenderTarget. Leaves the colour texture bound to
// GL_TEXTURE_2D and the depth renderbuffer bound.
int CreateRenderTarget(RenderTarget& target, int32_t width, int32_t height, int32_t withDepth);

// Draws into the target from now on; the viewport becomes its size (the
// projection is not changed).
void BindRenderTarget(const RenderTarget& target);

// Draws into the window again, with the viewport of `screen`.
void UnbindRenderTarget();

// Deletes the target's objects and zeroes the record, so destroying it again
// does nothing. A zero record makes no GL call.
void DestroyRenderTarget(RenderTarget& target);

// State for writing shadow-volume marks into the stencil buffer: flat
// shading, no texturing or lighting, depth writes off (test GL_LEQUAL),
// stencil cleared and tested (always passes, reference 1), colour writes off.
// The stencil operations are the caller's.
void BeginStencilPass();

// Stencil test off, depth test GL_LESS, blending off, depth writes on. The
// colour mask, lighting, texturing and shading are left as they are.
void EndStencilPass();
