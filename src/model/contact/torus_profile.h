// The lower surface of a torus about the z axis seen along a line of the xy
// plane: its height and the position of a given slope.  Pure functions, safe
// on any thread.
#pragma once

// Height of the lower half of a torus about the z axis (tube radius r,
// centre-circle radius R) above the point (t, h) of the xy plane: 0 outside
// the tube, else -sqrt(r^2 - (R - rho)^2) with rho = sqrt(t^2 + h^2).
double torusLowerZ(double t, double r, double R, double h);

// Along the line of points (t, h), t increasing, finds by bisection (to 0.001
// in t and in slope) the t where d torusLowerZ / dt equals slope, searching
// between the lowest line of the tube and its outer rim.  Returns 0 with *t,
// or -1 with *t unchanged when no such position exists: the line misses the
// tube ((r + R)^2 <= h^2), the slope is not bracketed, or any evaluation is
// not finite (NaN or infinite input).
int torusSlopeParam(double* t, double r, double R, double h, double slope);
