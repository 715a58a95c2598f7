// Boundaries projected onto the part: the profiles of a boundary drawn in a
// plane are dropped onto the part surfaces with a ball tool along a
// direction, and the dropped paths become the job's boundary file.
//
// The projection works in a frame of its own (frameSetFromDirection) and with
// a model and tool of its own; it leaves the working frame set to that frame,
// so the caller sets its job's frame up again afterwards.  The run's internal
// scale (jobScale) and the contact settings' surface selection are the same
// after the call as before it.
//
// Cycle thread only: the frame, the contact settings and the loaders are
// process-wide (the drops themselves run their own parallel passes).
#pragma once

#include <cstddef>
#include <string>

#include "geometry/pline/pline.h"
#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

// The factor the projection works in, from the tool radius in job units: 25
// below 1, 2 below 2, else 1, so that small tools are dropped at a size the
// model tolerances suit.
double bndProjectionScale(double toolRadius);

// Projects every profile (every "**BND" block) of the boundary file named in
// boundary onto the part along direction with a ball of toolRadius (job
// units), and writes the dropped paths as "proj.bnd" into tmpDir, with the
// contours as "proj.kfy" beside it for inspection (left out when it cannot be
// written).  Both files are noted for removal at the end of the run
// (jobTempFileNote).
//
// The part is partFile, with clipFile as clip surfaces when that is named
// (and extraFile beside them when extraSurfaces is set), else merged with
// extraFile when extraSurfaces is set; multiPoly loads the multi-surface form
// of the files.  The heights of the profiles are dropped: each profile is
// taken as lying in the plane across direction.  A drop that fails (or is
// stopped) ends the projection without a file.
//
// Returns 1 after the projection; boundary (cap bytes) then holds the path of
// "proj.bnd" when that file was written, and keeps its name otherwise.  -1,
// with boundary unchanged, when the tool radius is not above 0.00001, no
// frame can be built from direction, the part cannot be loaded or gridded,
// the boundary file holds no profile, or the path does not fit cap.  The
// model and the profiles are freed on every path.
int bndProjectBoundaryFile(char* boundary, std::size_t cap, const char* partFile,
                           const char* clipFile, const char* extraFile, const char* tmpDir,
                           int extraSurfaces, int multiPoly, const Vec3d& direction,
                           double toolRadius);

// Drops the model's tool along each curve of the model's guide curve list in
// turn and writes the paths as BND blocks into bndPath and as kFY contours
// into kfyPath (null or empty: none).  The guide curve is the list's head
// again afterwards.  1; -1 when the path buffer cannot be had, a drop fails
// or is stopped, or bndPath cannot be written whole (no BND file is written
// or left then).  A kFY file that cannot be written is left out.
int bndWriteProjectedFiles(ModelRec* model, const char* bndPath, const char* kfyPath);

// Appends one BND block of the path to text: "**BND 1", one point line per
// path point in world coordinates (bndWorldPointLine), "**END".
void bndWriteProjectedBlock(const Pline& path, std::string* text);
