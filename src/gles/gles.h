// The OpenGL ES 1.1 API of the engine: every unit that draws includes this
// header instead of <GLES/gl.h> and calls GL by the usual names.
//
// Behind each name is one slot of gles_dispatch, a table of function
// pointers filled when a GL surface makes its context current
// (gles_context.h): either the driver's own ES 1.1 or our translation of it
// onto OpenGL ES 2.0 (es2_*.cpp), which the web build uses on WebGL. Without
// a current context every call does nothing and returns zero.
//
// Only the entry points the engine calls are here (gles_functions.inc); the
// types and enum values are the standard ones of <GLES/gl.h> and glext.h.
#pragma once

#include <GLES/gl.h>
#include <GLES/glext.h>

#include "gles/gles_dispatch.h"

#define glActiveTexture gles_dispatch.ActiveTexture
#define glAlphaFunc gles_dispatch.AlphaFunc
#define glBindTexture gles_dispatch.BindTexture
#define glBlendFunc gles_dispatch.BlendFunc
#define glClear gles_dispatch.Clear
#define glClearColor gles_dispatch.ClearColor
#define glClearDepthf gles_dispatch.ClearDepthf
#define glClientActiveTexture gles_dispatch.ClientActiveTexture
#define glColor4f gles_dispatch.Color4f
#define glColor4ub gles_dispatch.Color4ub
#define glColorPointer gles_dispatch.ColorPointer
#define glCopyTexSubImage2D gles_dispatch.CopyTexSubImage2D
#define glCullFace gles_dispatch.CullFace
#define glDeleteTextures gles_dispatch.DeleteTextures
#define glDepthFunc gles_dispatch.DepthFunc
#define glDisable gles_dispatch.Disable
#define glDisableClientState gles_dispatch.DisableClientState
#define glDrawArrays gles_dispatch.DrawArrays
#define glDrawElements gles_dispatch.DrawElements
#define glEnable gles_dispatch.Enable
#define glEnableClientState gles_dispatch.EnableClientState
#define glFinish gles_dispatch.Finish
#define glFlush gles_dispatch.Flush
#define glFrontFace gles_dispatch.FrontFace
#define glGenTextures gles_dispatch.GenTextures
#define glGetError gles_dispatch.GetError
#define glGetFloatv gles_dispatch.GetFloatv
#define glGetIntegerv gles_dispatch.GetIntegerv
#define glGetLightfv gles_dispatch.GetLightfv
#define glGetMaterialfv gles_dispatch.GetMaterialfv
#define glGetString gles_dispatch.GetString
#define glGetTexEnvfv gles_dispatch.GetTexEnvfv
#define glGetTexParameteriv gles_dispatch.GetTexParameteriv
#define glIsEnabled gles_dispatch.IsEnabled
#define glIsTexture gles_dispatch.IsTexture
#define glLightModelfv gles_dispatch.LightModelfv
#define glLightfv gles_dispatch.Lightfv
#define glLoadIdentity gles_dispatch.LoadIdentity
#define glLoadMatrixf gles_dispatch.LoadMatrixf
#define glMaterialf gles_dispatch.Materialf
#define glMaterialfv gles_dispatch.Materialfv
#define glMatrixMode gles_dispatch.MatrixMode
#define glMultMatrixf gles_dispatch.MultMatrixf
#define glNormalPointer gles_dispatch.NormalPointer
#define glOrthof gles_dispatch.Orthof
#define glPixelStorei gles_dispatch.PixelStorei
#define glPopMatrix gles_dispatch.PopMatrix
#define glPushMatrix gles_dispatch.PushMatrix
#define glReadPixels gles_dispatch.ReadPixels
#define glRotatef gles_dispatch.Rotatef
#define glScissor gles_dispatch.Scissor
#define glShadeModel gles_dispatch.ShadeModel
#define glTexCoordPointer gles_dispatch.TexCoordPointer
#define glTexEnvf gles_dispatch.TexEnvf
#define glTexEnvi gles_dispatch.TexEnvi
#define glTexImage2D gles_dispatch.TexImage2D
#define glTexParameteri gles_dispatch.TexParameteri
#define glTexSubImage2D gles_dispatch.TexSubImage2D
#define glTranslatef gles_dispatch.Translatef
#define glVertexPointer gles_dispatch.VertexPointer
#define glViewport gles_dispatch.Viewport
#define glBindFramebufferOES gles_dispatch.BindFramebufferOES
#define glBindRenderbufferOES gles_dispatch.BindRenderbufferOES
#define glCheckFramebufferStatusOES gles_dispatch.CheckFramebufferStatusOES
#define glDeleteFramebuffersOES gles_dispatch.DeleteFramebuffersOES
#define glDeleteRenderbuffersOES gles_dispatch.DeleteRenderbuffersOES
#define glFramebufferRenderbufferOES gles_dispatch.FramebufferRenderbufferOES
#define glFramebufferTexture2DOES gles_dispatch.FramebufferTexture2DOES
#define glGenFramebuffersOES gles_dispatch.GenFramebuffersOES
#define glGenRenderbuffersOES gles_dispatch.GenRenderbuffersOES
#define glRenderbufferStorageOES gles_dispatch.RenderbufferStorageOES
