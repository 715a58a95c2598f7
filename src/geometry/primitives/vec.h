// Plain point, direction and segment records of the geometry library.
//
// These records hold no pointers and keep their fixed sizes: code that stores
// them in files or copies them as bytes relies on the layouts below.  Every
// function that takes a 2D point reads only the first two doubles of what it is
// given, so a Vec3d may stand where x and y alone matter.
#pragma once

// A 2D point or direction.
struct Vec2d {
  double x;
  double y;
};

// A 3D point or direction.
struct Vec3d {
  double x;
  double y;
  double z;
};

// A 2D segment from (x0, y0) to (x1, y1): start first, then end.  A chain is an
// array of Seg2 in which each segment normally starts where the previous one
// ends; a closed chain ends where it starts.
struct Seg2 {
  double x0;
  double y0;
  double x1;
  double y1;
};

// The start and the end point of a segment.
inline Vec2d seg2Start(const Seg2& s) { return {s.x0, s.y0}; }
inline Vec2d seg2End(const Seg2& s) { return {s.x1, s.y1}; }

static_assert(sizeof(Vec2d) == 16, "Vec2d is two doubles");
static_assert(sizeof(Vec3d) == 24, "Vec3d is three doubles");
static_assert(sizeof(Seg2) == 32, "Seg2 is four doubles");
