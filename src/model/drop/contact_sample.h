// Samples of the drop along a guide curve: one curve point at one curve
// parameter, evaluated into a tool position with its contact point and the
// found, contact and status bytes that become one point of the path; the
// tests by which the drop decides that a further sample is needed; the
// filters applied to the finished path.
//
// Heights are those of the tool's centre point (tip z plus corner radius).
//
// Threads: an evaluation writes only its sample and the context it is given;
// the model, its surfaces and the guide curve are only read, so samples on
// different contexts evaluate in parallel.  The filters change the Pline they
// are given (one thread per path).
#pragma once

#include <cstdint>

#include "geometry/pline/pline.h"
#include "model/contact/contact_settings.h"
#include "model/mesh/model.h"

struct CurveRec;

// Status byte of a sample.
inline constexpr int kSampleNormal = 0;
inline constexpr int kSampleFace = 1;
inline constexpr int kSampleGap = 2;
inline constexpr int kSampleFootprintOutside = 4;

// Results of an evaluation.
inline constexpr int kSampleResultNormal = 1;
inline constexpr int kSampleResultFloor = 2;
inline constexpr int kSampleResultOutside = 3;
inline constexpr int kSampleResultGap = 0;
inline constexpr int kSampleResultCancelled = -2;

// Evaluations between two polls of the break check (per context).
inline constexpr int kSampleBreakPollInterval = 10000;
// Tolerances of the evaluation and the filters.
inline constexpr double kSampleTol = 0.00001;
// Ratio of the height change to the length below which a segment descends
// near-vertically.
inline constexpr double kSampleSteepDropRatio = -0.996;
// Part of the steep-drop length below which a stretch counts as short.
inline constexpr double kSampleShortStretchFactor = 0.2;
// Part of the tool radius below which a run next to a deep dip is short.
inline constexpr double kSampleDeepDipRunFactor = 0.1;
// Cosine of the turn above which a curve vertex is no corner.
inline constexpr double kCurveCornerCos = 0.985;

struct ContactSample {
  double x, y;            // the guide curve's point
  double startZ;          // the curve's z there, or the model's floor z
  double parameter;       // the curve parameter (2D arc length)
  const int* candidates;  // surfaces to test (grid cell or preselection), or null: all
  int32_t candidateCount;
  Vec3d toolPosition;  // result: x, y and the height reached
  Vec3d contactPoint;  // where the tool touches
  uint8_t found;       // 1: a valid tool position
  uint8_t contact;     // 1: a surface was touched
  uint8_t status;      // kSampleNormal, kSampleFace, kSampleGap, kSampleFootprintOutside
};

// Fills a sample (tool position and contact point 0, bytes 0).
void contactSampleInit(ContactSample* sample, const double xy[2], double startZ, double parameter,
                       const int* candidates, int candidateCount);
// A new sample filled as contactSampleInit; null when memory runs out.  Free
// with contactSampleFree (null allowed).
ContactSample* contactSampleNew(const double xy[2], double startZ, double parameter,
                                const int* candidates, int candidateCount);
void contactSampleFree(ContactSample* sample);

// Evaluates one sample on a facet model: boundary intervals, the model's
// surfaces (through the model grid's cell), the surface groups in one or two
// sweeps, the z range, the guide curve's z, the footprint and the slope range.
// Results: 1 normal; 2 raised to the z floor; 3 footprint outside the contact
// boundary; 0 gap or not found; -2 cancelled (the break check, polled every
// 10000 evaluations counted in ctx).  Writes the sample and ctx's call counter
// (and a stale cone).
int contactEvalSample(ContactContext* ctx, ContactSample* sample, const ModelRec* model);

// The same on a triangle-list model (no call counter, one sweep over the
// groups, the second chance with the extra allowance, no slope tests).
int projEvalSample(ContactContext* ctx, ContactSample* sample, const ModelRec* model);

// Index of a path point whose parameter lies within tolerance of value, or
// -1.  Ascending parameters are searched by bisection.
int contactFindParamIndex(const Pline* path, double value, double tolerance);

// 1 for the first and last vertex and for an inner vertex whose segments turn
// so that the cosine of the turn is at most 0.985; 0 when a neighbouring
// segment is shorter than 0.00001 in plan, for a straight vertex, and for an
// index outside the curve.
int curveVertexIsCorner(int index, const CurveRec* curve);

// Turns to gaps the short runs at near-vertical descents: the plateau before a
// descent (when its plan length is below length and it does not start the
// path) or the bottom after it (below length, not ending the path); then short
// stretches (parameter span below 0.2 length) that are not the bottom of a
// steep drop.  1 when a status changed.
int contactGapSteepDrops(const ContactContext* ctx, Pline* path, double length);

// Lifts toolPosition (a new sample between points index - 1 and index) to the
// path's height there when it lies more than radius below it and one of the
// neighbouring non-gap runs is shorter than 0.1 radius.  1 when lifted.
int contactFlattenDeepDip(const Pline* path, int index, double toolPosition[3], double radius);

// Cosine of the surface slope across the path at the contact: with t the
// curve's unit tangent, dz = contact z - tool z and q the contact's offset
// across t, |dz| / sqrt(dz^2 + q^2).  1 with the value in out; 0 when the
// curve has no tangent there or dz^2 + q^2 is below 0.00001.
int contactCrossSlopeCos(const ContactContext* ctx, const CurveRec* curve, double parameter,
                         const double toolPosition[3], const double contact[3], double* out);
