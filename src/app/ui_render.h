// The interface's renderer: Dear ImGui's output drawn with OpenGL ES 1.1
// into the bound framebuffer, the GL state left as it was found. Called by
// the interface drawing once a frame (app/ui_draw.h), and by the ES 1.1
// translation's test, which holds our layer over ES 2.0 to the driver's
// ES 1.1 on exactly these calls.
#pragma once

struct ImDrawData;
struct PixelRect;

// Draws `data`; with `limit` (pixels, GL's y up), nothing outside it.
void UIKitRender(ImDrawData* data, const PixelRect* limit = nullptr);
