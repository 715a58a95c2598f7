// The parameters every 3D cycle shares (the 3D Common Cycle's record), the
// helpers of the 3D cycles for coordinate texts, temporary file names and
// the polyhedron frame, and the process-wide values they keep.
//
// Each cycle descriptor built on the 3D Common Cycle has one record of its
// own (cyc3dRecordOf); the fields keep their values from run to run, and
// texts are replaced when they are read again.
//
// Thread-safety: cycle thread only.
#pragma once

#include <string>
#include <vector>

#include "base/cycle_context.h"
#include "formats/settings/cfg_lines.h"
#include "geometry/primitives/vec.h"

struct Cyc3dRecord {
  std::string geoSource;
  std::string polySource;
  std::string extraPolySource;
  std::string toolName;
  int toolType = 0;  // "ballMill" 1, "endMill" 2, other 3
  double toolDiameter = 0;
  double cornerRadius = 0;
  double allowance = 0;
  int coolant = 0;  // "true" 1, other 2
  double spindleSpeed = 0;
  int spindleRotation = 0;  // "counterClockwise" 2, other 1
  double planeFeedrate = 0, zFeedrate = 0;
  Vec3d frameCs_o{0, 0, 0}, frameCs_x{1, 0, 0}, frameCs_y{0, 1, 0}, frameCs_z{0, 0, 1};
  Vec3d toolCs_o{0, 0, 0}, toolCs_x{1, 0, 0}, toolCs_y{0, 1, 0}, toolCs_z{0, 0, 1};
  Vec3d polyCs_o{0, 0, 0}, polyCs_x{1, 0, 0}, polyCs_y{0, 1, 0}, polyCs_z{0, 0, 1};
  double infeedDepth = 0, infeedLength = 0, clearanceDistance = 0;
  double clearancePlane = 0, jumpStepDistance = 0;
  int rapidMode = 0;  // "plane" 0, other 1
  double surface = 0, depth = 0;
  int boundaryMode = 0;  // "axis" 0, "to" 2, "past" 3, other 1
  int approachType = 0;  // "axis" 1, "circle" 2, "ramp" 8, other 3
  int leavingType = 0;   // "axis" 1, "circle" 2, other 3
  int returnMacro = 0;   // "true" 2, other 1
  double approachLength = 0, leavingLength = 0;
  int infeedDirection = 0;  // "true" 1, other 0
  int reverseDirection = 0;
  double circularMacroSegmentAngle = 0;  // degrees
  double circularMacroDirection = 0;
  double maxOutputLine = 0;
  int toolReference = 0;  // "tip" 1, other 2
  std::string frame;      // "a/b/c/d/e/f", empty when not set
  int frameOn = 0, frameOff = 0;
  int lengthOfUnit = 0;  // "inch" 1, other 0
  double machiningTolerance = 0;
  int ncFormat = 0;  // "dsplineFormat" 1, "polyFormat" 2, other 0
  double feedrateReductionAngle = 0;
  Vec3d startPoint{0, 0, 0};
  int smoothStepover = 0;
  std::string tempDirectory;
  int removeTempFiles = 1;  // "false" 0, other 1
  int syncFileWritten = 0;
  std::string bndFile, prfFile, pr2File, sncFile, spareTempFile, cfgFile;
  int startPointSet = 0;
  int slopeCondition = 0;  // "zlevel" 2, "mixed"/"true" 1, "horizontal" 3, other 0
  double slopeAngle = 0;
  double retractPlane = 0;
  const char* logFileName = "qzcyc.loc";
  int tiltStrategy = 0;
  double tiltAngle = 0, maxTiltAngle = 0, tiltOffset = 0, fanDistance = 0;
  int checkToolHolder = 0, avoidCollision = 0;
  double approachAxialLength = 0, leavingAxialLength = 0, maxOutputAngle = 0;
  int smoothVectors = 0;
  double smoothInterval = 0;
  int pivotSmooth = 0;
  double pivotHeight = 0;
  std::string trcFile;
  int autoIndex = 0;
  double maxSegmentAngle = 0, connectMacroRadius = 0, connectMacroHeight = 0;
  std::string segmentFile;
  int fixedInclination = 0;
  double angleB = 0, angleC = 0, reducedFeedrate = 0;

  // The temporary files this record's runs made and have not removed yet.
  std::vector<std::string> ownedTempFiles;
};

// The record of ctx (made at the first call, kept for the process).  Null
// for a null ctx.
Cyc3dRecord* cyc3dRecordOf(const CycleDescriptor* ctx);

// "x,y,z" (three numbers separated by commas) into out.  -1 when a comma is
// missing (out untouched), else 1.
int cycParseXyz(const char* text, Vec3d* out);
// "x,y", or "x/y" when there is no comma, into out.  0 when neither
// separator is present, else 1.
int cycParseXy(double (*out)[2], const char* text);

// directory + separator + process id + "." + extension; no separator is
// added when the directory is empty or ends in "/" or "\".
std::string cycTempFileName(const std::string& directory, const char* extension);

// A temporary file name of the run for extension: cycTempFileName of the
// record's tempDirectory, or, when that file exists already (another run,
// another kind), the same with "-2", "-3", ... before the dot.  The file is
// created empty so that the name stays taken, and recorded in
// ownedTempFiles.  "" when no name could be taken.
std::string cyc3dTakeTempName(Cyc3dRecord* rec, const char* extension);

// The value of the last cfg line of list with exactly this keyword, and its
// origin; nullopt-like "" with found false when there is none.
struct CfgLineValue {
  bool found = false;
  std::string value;
  uint16_t origin = 0;
};
CfgLineValue cfgLineGet(const CfgLine* list, const char* keyword);
