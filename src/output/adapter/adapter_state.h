// The process-wide state of the output adapter, shared by its two halves
// (the header, contexts and display output, and the path points, feeds and
// NC formats).  Internal to src/output/adapter/.
//
// Thread-safety: written and read on the cycle thread only; the display
// calls, the only adapter calls from worker threads, read none of it.
#pragma once

#include <memory>

#include "geometry/primitives/vec.h"

// The buffered points of one NC spline or POLY block.
struct NcPointBuffer {
  int capacity = 0;
  int count = 0;
  std::unique_ptr<Vec3d[]> items;
};

// Feed stack entry: a feed value and its alias index.
struct FeedStackEntry {
  double feed;
  int alias;
};

constexpr int kFeedStackSize = 100;

struct FeedStack {
  FeedStackEntry items[kFeedStackSize];
  int top = -1;  // -1 when empty
};

// Feed states of the path output.
enum OutFeedState : int {
  kFeedNormal = 0,
  kFeedReduced = 1,
  kFeedPlunge = 2,
};

// Indices into FeedAliasTable used by the feed logic.
enum OutFeedAlias : int {
  kAliasFZ = 0,
  kAliasFX = 1,
  kAliasReduced = 2,
  kAliasApproach = 3,
  kAliasRetract = 4,
  kAliasInfeed = 5,
};

// Values of a last output position that no point can match.
constexpr double kOutNoPositionXY = 9876543.0;
constexpr double kOutNoPositionZ = -9876543.0;
// Cosine of the feed reduction angle at load.
constexpr double kOutFeedCosineMax = 0.99999;

struct OutAdapterState {
  // Contexts and header.
  int linkClosed = 0;
  int holdRapid = 0;
  const char* spindleRotationText = "clockwise";
  double clearanceOffset = 0.0;

  // Path points.
  double lastX = kOutNoPositionXY;
  double lastY = kOutNoPositionXY;
  double lastZ = kOutNoPositionZ;
  int lastKind = -1;
  long pointCount = 0;
  int moveCount = 0;
  Vec3d heldPoint = {0, 0, 0};
  int heldFlag = 0;
  double toolRefShift = 0.0;

  // NC formats.
  int ncFormat = 0;
  std::unique_ptr<NcPointBuffer> ncBuffer;
  double splineFeed = 0.0;

  // Feeds.
  double feedFX = 0.0;
  double feedReduced = 0.0;
  double feedCurrent = 0.0;
  double macroApproach = 0.0;
  double macroRetract = 0.0;
  double macroInfeed = 0.0;
  int approachActive = 0;
  int infeedActive = 0;
  int feedChanged = 0;
  int reEmit = 0;
  int feedState = kFeedNormal;
  int aliasIndex = kAliasFX;
  int forceReduced = 0;
  int forceHold = 0;
  int stackMode = 0;
  FeedStack stack;
  double feedCosine = kOutFeedCosineMax;
};

// The one adapter state of the process.
OutAdapterState& outAdapterState();
