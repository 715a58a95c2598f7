// Small linear solvers: tridiagonal (Thomas algorithm), cyclic tridiagonal
// (the periodic system of closed splines) and dense Gauss-Jordan
// elimination with full pivoting.
//
// Thread-safety: no shared state.
#pragma once

#include <cstdint>

// Row i: sub[i] x[i-1] + diag[i] x[i] + sup[i] x[i+1] = rhs[i] (sub[0] and
// sup[n-1] are not read); the solution replaces rhs.  The elimination
// multipliers replace sub and the reduced pivots diag, so a call with
// factored = 1 solves a new right-hand side without eliminating again.
// 0; 1 when n <= 1 or an array is null; 2 when a pivot has magnitude below
// kSolvePivotTol.
int solveTridiagonal(int n, double* sub, double* diag, double* sup, double* rhs, int factored);

// The same system with the corners of a periodic one: row 0 has
// fillRow[0] at column n-1, row n-1 has fillColumn[0] at column 0.  Both are
// work arrays of n values (zero beyond the first on the first call) that
// keep the fill-in of the last column and row for factored calls.
// Elimination without exchanges; the solution replaces rhs.  0; 1 when
// n <= 2 or an array is null; 2 for a pivot below kSolvePivotTol.
int solveCyclicTridiagonal(int n, double* sub, double* diag, double* sup, double* fillColumn,
                           double* fillRow, double* rhs, int factored);

// Gauss-Jordan elimination with full pivoting of the n x n row-major matrix
// a with m right-hand-side columns in b (n x m, row-major): a becomes its
// inverse, b the solution.  0; -1 when the matrix is singular (a pivot below
// kGaussJordanPivotTol, or a pivot column chosen twice), or n is not in
// 1..kGaussJordanMaxN, or m is negative, or an array is null.
int16_t solveGaussJordan(double* a, int16_t n, double* b, int16_t m);

constexpr double kSolvePivotTol = 1e-12;
constexpr double kGaussJordanPivotTol = 1e-8;
constexpr int kGaussJordanMaxN = 100;
