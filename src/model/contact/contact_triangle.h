// Contact of a vertically dropped tool with one triangle.
//
// For one triangle and one tool shape lowered straight down (-z) at a given xy
// position, these functions find how high the tool's centre point must stay
// so that the tool just touches the triangle, and where it touches.  Heights
// are those of the centre point: the ball centre, the torus corner circle,
// the flat tool's tip.  Each shape is tested against the triangle's face,
// then (when the face does not hold the contact) its edges and, for ball and
// torus, its vertices; the highest contact of the triangle is stored into the
// caller's record only when it lies above (ball) or at least at (flat, torus)
// the record's height.  A tool with a taper adds a cone frustum above its
// cutting part.
//
// Tolerances of the cases: tilt classes of the face (vertical below lo,
// horizontal above hi: 1e-8 / 0.99999999 for the flat tool, 1e-7 / 0.9999999
// for ball and torus); reach r - 1e-7 (ball), R - 1e-8 (flat), ring + corner
// radius - 1e-7 (torus); a flat tool's face test lets b reach down to -1e-8
// and b, a + b up to 1 + 1e-8; horizontal edges: |dz| < 1e-6 (flat), < 1e-5
// (torus).  An edge whose horizontal extent is below 1e-12 (vertical or of
// zero length) has no edge contact; its end points are still tested.
//
// Performance: this is the innermost loop of every drop.  Nothing allocates,
// all state lives in the record and in locals; a facet that stores a triangle
// (fourth vertex equal to the third) is tested as one triangle.
//
// Threads: the functions read their arguments and write only the record or
// the out-parameters given; any number of threads may call them at once.
#pragma once

#include <cstdint>

#include "geometry/primitives/vec.h"
#include "model/contact/contact_settings.h"
#include "model/mesh/model.h"
#include "model/mesh/triangle_plane.h"

// Results of the shape functions: no change, an edge or vertex contact, a
// face contact.
inline constexpr int kContactNone = 0;
inline constexpr int kContactEdge = 1;
inline constexpr int kContactFace = 2;

// Contact kinds: the rim, corner, cone or ball surface touches; the flat part
// of the tool end touches (flat tool, flat inner disk of a torus).
inline constexpr int kContactKindRim = 1;
inline constexpr int kContactKindFlat = 2;

// Tilt classes of a face: cosine of the slope below lo is vertical, above hi
// horizontal.
inline constexpr double kContactFlatTiltLo = 1e-8;
inline constexpr double kContactFlatTiltHi = 0.99999999;
inline constexpr double kContactRoundTiltLo = 1e-7;
inline constexpr double kContactRoundTiltHi = 0.9999999;
// Local best height before any case ran.
inline constexpr double kContactNoHeight = -100000.0;
// Reach reductions of the edge and vertex tests.
inline constexpr double kContactBallReachTol = 1e-7;
inline constexpr double kContactFlatReachTol = 1e-8;
inline constexpr double kContactTorusReachTol = 1e-7;
// Barycentric slack of the flat tool's face test.
inline constexpr double kContactFlatBaryLow = -1e-8;
inline constexpr double kContactFlatBaryHigh = 1.00000001;
// Height differences below which an edge counts as horizontal.
inline constexpr double kContactFlatHorizontalEdge = 1e-6;
inline constexpr double kContactTorusHorizontalEdge = 0.00001;
// Distance of a torus edge line from the axis below which it meets the axis.
inline constexpr double kContactTorusAxisTol = 0.00001;
// Horizontal extent below which an edge has no direction across the drop.
inline constexpr double kContactVerticalEdgeTol = 1e-12;
// Radial and height slack of the taper cone.
inline constexpr double kContactConeTol = 0.00001;
// Torus contacts within this of the corner radius below the height lie under
// the flat end.
inline constexpr double kContactTorusAxisRuleTol = 0.00001;
// Tolerance set of the test along the tool axis (the *Axis shapes): local
// best height before any case ran, and the reach reduction of the flat tool.
inline constexpr double kContactAxisNoHeight = -1000000.0;
inline constexpr double kContactAxisFlatReachTol = 1e-7;

// In/out record of the shape functions.  The drop direction is always -z; a
// caller that needs an upward drop negates every z (vertices, position,
// height) and negates the result back.
struct ContactTriangle {
  Vec3d v[3];           // the triangle
  Vec3d position;       // xy of the drop; z is not read by the shapes
  double height;        // in: best height so far; out: raised on a contact
  Vec3d contact;        // out: where the tool touches (written with the height)
  double radius;        // ball and flat radius; torus: radius - corner radius
  double ringRadius;    // torus: radius - corner radius
  double cornerRadius;  // torus corner radius
  int32_t kind;         // out: kContactKindRim or kContactKindFlat
};

// Ball of radius record->radius.  Stores height and contact when the
// triangle's highest contact lies strictly above record->height (kind is not
// written).  Returns kContactFace, kContactEdge, or kContactNone when the
// record was not changed.
int contactBallTriangle(ContactTriangle* record);

// Flat tool of radius record->radius.  Stores height, contact and kind when
// the highest contact is at least record->height.  Results as above.
int contactFlatTriangle(ContactTriangle* record);

// Torus with ring radius record->ringRadius and corner radius
// record->cornerRadius.  Stores height, contact and kind when the highest
// contact is at least record->height.  Results as above.
int contactTorusTriangle(ContactTriangle* record);

// The three shapes with the tolerance set of the test of the tool body along
// its axis.  The caller works in a frame whose z axis is the tool axis (the
// travel is -z there, and heights are measured along the axis).  Cases,
// results and store rules as above, except: the local best height starts at
// kContactAxisNoHeight; the flat tool uses the tilt classes of ball and
// torus (1e-7 / 0.9999999), an exact barycentric test (0 <= a, b, a + b <=
// 1) and the reach R - 1e-7; on a level face (horizontal class) the flat
// tool and the torus take the face point on the axis at the height of the
// triangle's first vertex.
int contactBallTriangleAxis(ContactTriangle* record);
int contactFlatTriangleAxis(ContactTriangle* record);
int contactTorusTriangleAxis(ContactTriangle* record);

// Cone frustum about the drop axis: radius ri at height zi, ro at zo, both
// relative to the centre height, closed at the top by a disk of radius ro.
// Sets record->kind to 0, then raises height and contact (kind 1) when the
// frustum touches the triangle above record->height.  1 when raised, else 0;
// nothing touches when ri > ro - 0.00001 or zi > zo + 0.00001.  Contacts are
// taken only where the frustum exists: on its side between ri and ro from the
// axis (vertices, and edges at their point of tangency), and at the rim of
// its top disk.
int contactConeTriangle(ContactTriangle* record, double ri, double ro, double zi, double zo);

// One facet (two triangles: V0 V1 V2 and V0 V2 V3) against the tool (type 1
// ball, 2 flat, 3 torus, 10 cone frustum; any other type returns 0) and,
// when ctx->taperOn is set and the tool is not a frustum, the context's taper
// cone (tested after the shape in the first triangle, before it in the
// second).  A triangle stored as a facet (V3 bitwise equal to V2) is tested
// once: its second half only repeats edges and vertices of the first, so the
// heights and results are those of both halves; where a flat or torus
// contact of that half would tie, the first half's contact and kind stand (a
// flat tool resting on a level triangle facet reports the face, kind 1; on a
// level quad an edge of the second half within reach ties with the face of
// the first and reports kind 2).
// *height is the best height in and out; *contact and *kind are written when
// a contact raises it (kind 1 for a ball and for a cone contact).  A torus contact lying the
// corner radius (within 0.00001) below the height is reported under the axis
// (position's x and y).  A frustum tool takes ri = its radius and zi = its
// length, or the context's outer cone radius and outer z when the taper is
// on; ro = half its shank diameter; zo = zi + its taper length.  Returns 2
// when either triangle's result is a face contact, 1 for any other contact,
// 0 when nothing changed; a triangle whose cone raised counts as 1.  ctx is
// only read.
int contactFacetShape(const ContactContext* ctx, const Facet* facet, const Vec3d* position,
                      const ToolShape* tool, double* height, Vec3d* contact, int* kind);

// A ball, flat tool or torus (type 1, 2 or 3) without a taper cone on the
// triangle v[0..2] whose plane pl was made beforehand by trianglePlaneOf:
// the height, contact, kind and result of contactFacetShape for a facet that
// stores that triangle (facetRule set: with its torus axis rule) or of
// contactTriangleShape (facetRule clear).  Other types return 0.
int contactTriangleShapePlain(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                              const ToolShape* tool, bool facetRule, double* height, Vec3d* contact,
                              int* kind);

// True when the face case decides the contact of a ball of the given radius
// with the triangle v[0..2] (plane pl made beforehand): contactTriangleShapePlain
// then gives kContactFace whenever it stores, and it stores exactly when
// *faceHeight (the height of that face contact, set when true) lies above
// the height offered.  When false, a ball's result on the triangle is never
// kContactFace.
bool contactBallFaceDecides(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                            double radius, double* faceHeight);

// False when a torus (ring = radius - corner radius, corner) without a taper
// cone cannot find the face case on the triangle v[0..2] (plane pl made
// beforehand; only v[0] is read): the plane is vertical, or the point where
// the torus touches it lies outside the triangle, as contactTriangleShapePlain
// decides it.  Its result on the triangle is then never kContactFace.
bool contactTorusFaceCase(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                          double ring, double corner);

// One triangle of nine doubles (V0, V1, V2) with the tool and then the taper
// cone as in contactFacetShape (without the torus axis rule).  Returns the
// cone's result when the cone raised, else the shape's.
int contactTriangleShape(const ContactContext* ctx, const double triangle[9], const Vec3d* position,
                         const ToolShape* tool, double* height, Vec3d* contact, int* kind);
