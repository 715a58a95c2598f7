// Offset model: a copy of a facet model whose facets are moved outward
// (upward) along their normals, used by the contact computation for the start
// height probe of ball tools.
//
// Threads: built on the cycle thread before the parallel drops; read only
// during them.
#pragma once

#include "model/mesh/model.h"

struct OffsetModel {
  ModelRec* offsetCopy;  // working copy holding the moved facets
  Vec3d* directions;     // per facet of the copy: unit move direction, or zero
};

// The offset model of a facet model: every facet moved by distance along its
// upward unit normal (the mean of the normals of its two triangles; a facet
// whose triangles have no usable normal, or whose normals cancel, stays and
// gets the zero direction).  The copy shares the source's group nodes' data
// and gets sorted facets, corners, box and a grid of its own items (the
// groups' grids stay the source's).  Null for a triangle model, a model
// without facets or tool, or on allocation failure (nothing stays
// allocated).  Free with offsetModelFreeData.
OffsetModel* modelBuildOffsetModel(const ModelRec* model, double distance);

// Frees the copy's facets, corners and grid, its group nodes, tool and
// record, the directions and the OffsetModel itself.  Null allowed.
void offsetModelFreeData(OffsetModel* offsetModel);

// The move direction of one facet by the rule above: 1 with the unit
// direction in dir, 0 (dir zero) when the facet is not moved.
int offsetModelFacetDirection(const Facet* facet, Vec3d* dir);
