// Queries of the machining model outside the drop: whether the tool at a
// position is free of a triangle model, and a model point within a distance
// of a position.
//
// Positions are tool centre points (tip z plus corner radius).  The walks go
// through the items in top-z order (highest first) and stop at the first item
// that lies wholly below what they look for.
//
// Threads: every function only reads the model; any number of threads may
// call them at once.
#pragma once

#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

// Height added above the triangle's z extent for the start of the tests of
// triToolIntersects.
inline constexpr double kToolFreeStartLift = 1.0;
// A contact must reach this far into the tool to count as an intersection.
inline constexpr double kToolFreeTol = 0.00001;

// 1 when the model's tool, taken as a torus of its radius and corner radius,
// is free of every triangle of a triangle model (kind 3) at position; 0 when
// it intersects one.  Candidates are the model grid's cell at the position
// (all triangles without a grid); triangles whose xy box misses the square
// position +- radius are skipped, and the walk stops at the first triangle
// wholly below the tool's lowest point.  A model without a tool or without a
// triangle list is free (1).
int modelTriToolFreeAt(const ModelRec* model, const Vec3d* position);

// 1 when the torus of tool at position intersects the triangle (vertex 0 x,
// y, z, vertex 1, vertex 2): dropped from above the triangle it would have to
// stay at least 0.00001 above position z, and pushed up from below (all z
// negated) at least 0.00001 below it.  Else 0.
int triToolIntersects(const double triangle[9], const ToolShape* tool, const Vec3d* position);

// The nearest point of the triangle to point, written to out; returns its
// distance.  The foot on the plane when it lies inside the triangle, else the
// nearest point of the edges V0-V1, V1-V2, V2-V0 (the first strictly nearest
// wins).  A triangle without a normal is measured by its edges.
double triNearestPoint(const double triangle[9], const Vec3d* point, Vec3d* out);

// 0 when a point of the model lies closer than distance to position (that
// point in out), 1 when none does (out untouched).  Not the nearest point:
// the first item closer than distance, in the model's items first, then each
// surface group in list order, each in top-z order.  Triangle models (kind 3)
// use modelTriNearPoint, all others modelFacetNearPoint.
int modelNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out);
int modelTriNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out);
// Facets count as the triangles V0 V1 V2 and V0 V2 V3.
int modelFacetNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out);
