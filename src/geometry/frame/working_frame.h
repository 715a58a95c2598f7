// The process-wide working frame: the coordinate state of one cycle run.
//
// A job gives two coordinate systems in world (job) coordinates: the tool
// system (the orientation the tool works in) and the NC system (the system of
// the NC output).  All computation runs in internal coordinates: tool-system
// coordinates multiplied by one global scale.  Readers map world points into
// internal coordinates (framePtWorldToTool), the path output maps internal
// points to NC coordinates (framePtToolToNc), writers map internal points back
// to world coordinates (framePtToolToWorld).
//
// Set-up order of a run (on the cycle thread): frameReset, frameSetNcSystem,
// frameSetToolSystem, optionally frameRotateTool, frameActivate, then
// frameScaleMultiply with the run's internal scale (activation resets the
// scale to 1, so the scale is multiplied in after it).
//
// Thread-safety: there is one frame per process, so one run at a time.  All
// setters (frameReset, frameSet*, frameRotateTool, frameActivate,
// frameScaleMultiply) run only on the cycle thread, before any parallel
// region of the run.  The point maps and frameCurrent only read the frame and
// may be called from worker threads of the parallel regions (the fork of a
// region orders the earlier writes before the workers' reads).
#pragma once

#include "geometry/primitives/mat4.h"
#include "geometry/primitives/vec.h"

struct WorkingFrame {
  double frameScale;      // tool-system to internal coordinates (1 at start)
  Mat4 frameToolMat;      // tool system: tool-system to world
  Mat4 frameToolInv;      // world to tool system
  Mat4 frameNcMat;        // NC system: NC to world
  Mat4 frameNcInv;        // world to NC
  Mat4 frameToolToNcMat;  // frameToolMat x frameNcInv
  Mat4 frameNcToToolMat;  // frameNcMat x frameToolInv
  int frameActive;        // 1 after a successful frameActivate
};

// Read-only view of the frame (valid for the life of the process).
const WorkingFrame& frameCurrent();

// Restores the initial state: identity systems, scale 1, inactive.  Called at
// the start of every run so that no state leaks from the previous one.
void frameReset();

// frameNcMat = mat4FromAxes(x, y, z) x mat4FromTranslation(origin).  The axes
// are taken as given (callers pass unit axes).  The inverses and cross
// matrices are updated only by the next frameActivate.
void frameSetNcSystem(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z);

// The same for frameToolMat.
void frameSetToolSystem(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z);

// Turns the tool system about its own z axis by degrees: the new x axis is
// c X + s Y, the new y axis -s X + c Y; z axis and origin stay.
void frameRotateTool(double degrees);

// Scale = 1, inactive; inverts the tool and the NC matrix and builds the two
// cross matrices.  1 on success (frame active), -1 when either matrix is
// singular (frame stays inactive, results computed before the failure stay
// written).
int frameActivate();

// The frame of a projection along direction d: NC and tool system both at
// the origin with the axes u, v, d, where u is (0, -d.z, d.y) when d.x and
// d.y are both below kGeoEqualTol in size, else (-d.y, d.x, 0), and v =
// unit(d x u); all three unit length (d is normalised first, so the frame
// does not stretch heights for a direction that is not a unit vector).
// Activates the frame (scale 1).  1 on success; -1 when d is shorter than
// kGeoEqualTol or not finite (the frame is then untouched) or the frame
// cannot be activated.
int frameSetFromDirection(const Vec3d* d);

// frameScale = frameScale x f.  Returns 1; returns -1 and keeps the scale
// when the product would be zero, subnormal, infinite or NaN (the inverse
// maps divide by the scale).
int frameScaleMultiply(double f);

// 1 when the tool and NC systems agree element by element (mat4Equal).
int frameSystemsEqual();

// 1 when any component of the tool z axis differs from the NC z axis by
// kGeoEqualTol or more (the tool axis is tilted against the NC z axis).
int frameToolAxisDiffers();

// In-place point maps (thread-safe reads of the frame):
// world to internal: p = scale x (p x frameToolInv).
void framePtWorldToTool(Vec3d* p);
// internal to world: p = (p / scale) x frameToolMat.
void framePtToolToWorld(Vec3d* p);
// internal to NC: p = (p / scale) x frameToolToNcMat.
void framePtToolToNc(Vec3d* p);
// NC to internal: p = scale x (p x frameNcToToolMat).
void framePtNcToTool(Vec3d* p);
