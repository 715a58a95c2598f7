#include "model/collision/coll_tree.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "geometry/errors/error_state.h"

int collTreeNodeSlots(int n) {
  if (n <= 0) return -1;
  int64_t slots = n;
  int64_t k = n;
  do {
    k = (k + 1) / 2;
    slots += k;
  } while (k > 1);
  return slots > INT_MAX ? -1 : static_cast<int>(slots);
}

namespace {

void boxOfTriangle(const FloatTri& t, float box[6]) {
  for (int a = 0; a < 3; ++a) {
    box[a] = std::min({t.v[0][a], t.v[1][a], t.v[2][a]});
    box[a + 3] = std::max({t.v[0][a], t.v[1][a], t.v[2][a]});
  }
}

void boxUnion(const float a[6], const float b[6], float out[6]) {
  for (int k = 0; k < 3; ++k) {
    out[k] = std::min(a[k], b[k]);
    out[k + 3] = std::max(a[k + 3], b[k + 3]);
  }
}

}  // namespace

CollTree* collTreeBuild(const FloatTriList* mesh) {
  vyrErrReset();
  if (mesh == nullptr || mesh->count <= 0 || mesh->items == nullptr) return nullptr;
  const int n = mesh->count;
  auto* tree = static_cast<CollTree*>(std::calloc(1, sizeof(CollTree)));
  if (tree == nullptr) {
    vyrErrSet(-1, kCollTreeErrSource, kCollTreeErrRecord);
    return nullptr;
  }
  const int slots = collTreeNodeSlots(n);
  if (slots > 0) {
    tree->nodes = static_cast<CollTreeNode*>(std::calloc(static_cast<std::size_t>(slots),
                                                         sizeof(CollTreeNode)));
  }
  if (tree->nodes == nullptr) {
    vyrErrSet(-1, kCollTreeErrSource, kCollTreeErrNodes);
    std::free(tree);
    return nullptr;
  }
  tree->mesh = mesh;
  tree->nodeCount = slots;
  CollTreeNode* nodes = tree->nodes;
  for (int i = 0; i < n; ++i) {
    nodes[i].triangle = i;
    boxOfTriangle(mesh->items[i], nodes[i].box);
  }
  // Pair each level in order; parents take the next free slots, so every
  // parent lies after its children and the boxes can be filled as it goes.
  int begin = 0;
  int end = n;
  int next = n;
  while (end - begin > 1) {
    const int levelStart = next;
    for (int i = begin; i < end; i += 2) {
      CollTreeNode& parent = nodes[next++];
      parent.triangle = -1;
      parent.first = &nodes[i];
      if (i + 1 < end) {
        parent.second = &nodes[i + 1];
        boxUnion(nodes[i].box, nodes[i + 1].box, parent.box);
      } else {
        std::copy(nodes[i].box, nodes[i].box + 6, parent.box);
      }
    }
    begin = levelStart;
    end = next;
  }
  tree->root = &nodes[begin];
  return tree;
}

void collTreeFree(CollTree* tree) {
  if (tree == nullptr) return;
  std::free(tree->nodes);
  std::free(tree);
}

CollTree* collTreeSetOffset(CollTree* tree, float x, float y, float z) {
  if (tree != nullptr) {
    tree->offset[0] = x;
    tree->offset[1] = y;
    tree->offset[2] = z;
  }
  return tree;
}

// ---- Triangle test ----------------------------------------------------------

namespace {

struct V3 {
  double x, y, z;
};

V3 sub(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool sameVertex(const double* a, const double* b) {
  return std::fabs(a[0] - b[0]) < kCollVertexTol && std::fabs(a[1] - b[1]) < kCollVertexTol &&
         std::fabs(a[2] - b[2]) < kCollVertexTol;
}

// 0: proper, 1: two vertices equal (a segment), 2: all three equal (a point).
int degeneracy(const double t[9]) {
  const bool e01 = sameVertex(t, t + 3);
  const bool e12 = sameVertex(t + 3, t + 6);
  const bool e20 = sameVertex(t + 6, t);
  if (e01 && e12 && e20) return 2;
  return (e01 || e12 || e20) ? 1 : 0;
}

// True when axis separates the triangles: one projected interval lies
// strictly beyond the other.
bool separates(const V3& axis, const V3 p[3], const V3 q[3]) {
  const double p0 = dot(axis, p[0]), p1 = dot(axis, p[1]), p2 = dot(axis, p[2]);
  const double q0 = dot(axis, q[0]), q1 = dot(axis, q[1]), q2 = dot(axis, q[2]);
  const double pMin = std::min({p0, p1, p2}), pMax = std::max({p0, p1, p2});
  const double qMin = std::min({q0, q1, q2}), qMax = std::max({q0, q1, q2});
  return pMin > qMax || qMin > pMax;
}

}  // namespace

int collTriTouch(const double pt[9], const double qt[9]) {
  const int dp = degeneracy(pt);
  const int dq = degeneracy(qt);
  if (dp == 2 || dq == 2 || (dp == 1 && dq == 1)) return 0;
  // Relative to p0, so that large coordinates lose no precision in the
  // products.
  const V3 o{pt[0], pt[1], pt[2]};
  V3 p[3], q[3];
  for (int k = 0; k < 3; ++k) {
    p[k] = sub(V3{pt[3 * k], pt[3 * k + 1], pt[3 * k + 2]}, o);
    q[k] = sub(V3{qt[3 * k], qt[3 * k + 1], qt[3 * k + 2]}, o);
  }
  const V3 ep[3] = {sub(p[1], p[0]), sub(p[2], p[1]), sub(p[0], p[2])};
  const V3 eq[3] = {sub(q[1], q[0]), sub(q[2], q[1]), sub(q[0], q[2])};
  const V3 n = cross(ep[0], ep[1]);
  const V3 m = cross(eq[0], eq[1]);
  if (separates(n, p, q) || separates(m, p, q)) return 0;
  for (const V3& a : ep) {
    for (const V3& b : eq) {
      if (separates(cross(a, b), p, q)) return 0;
    }
  }
  for (const V3& a : ep) {
    if (separates(cross(a, n), p, q)) return 0;
  }
  for (const V3& b : eq) {
    if (separates(cross(b, m), p, q)) return 0;
  }
  return 1;
}

// ---- Dual walk ----------------------------------------------------------------

namespace {

struct Walk {
  const CollTree* a;
  const CollTree* b;
  double offA[3];
  double offB[3];
  int allPairs;
  IntPairList* pairs;
  bool stop;
  bool touched;
};

bool boxesApart(const Walk& w, const CollTreeNode* p, const CollTreeNode* q) {
  for (int k = 0; k < 3; ++k) {
    const double pMin = p->box[k] + w.offA[k], pMax = p->box[k + 3] + w.offA[k];
    const double qMin = q->box[k] + w.offB[k], qMax = q->box[k + 3] + w.offB[k];
    if (pMax < qMin || qMax < pMin) return true;
  }
  return false;
}

void triangleAt(const CollTree* tree, const double off[3], int index, double out[9]) {
  const FloatTri& t = tree->mesh->items[index];
  for (int k = 0; k < 9; ++k) out[k] = static_cast<double>(t.v[k / 3][k % 3]) + off[k % 3];
}

void walk(Walk& w, const CollTreeNode* p, const CollTreeNode* q) {
  if (w.stop || p == nullptr || q == nullptr) return;
  if (boxesApart(w, p, q)) return;
  const bool pLeaf = p->first == nullptr;
  const bool qLeaf = q->first == nullptr;
  if (pLeaf && qLeaf) {
    double tp[9], tq[9];
    triangleAt(w.a, w.offA, p->triangle, tp);
    triangleAt(w.b, w.offB, q->triangle, tq);
    if (collTriTouch(tp, tq) == 0) return;
    w.touched = true;
    const bool appended =
        w.pairs != nullptr && listIntPairAppend(w.pairs, IntPair{p->triangle, q->triangle}) >= 0;
    if (!appended || w.allPairs == 0) w.stop = true;
    return;
  }
  if (pLeaf) {
    walk(w, p, q->second);
    walk(w, p, q->first);
  } else if (qLeaf) {
    walk(w, p->second, q);
    walk(w, p->first, q);
  } else {
    walk(w, p->second, q->second);
    walk(w, p->second, q->first);
    walk(w, p->first, q->second);
    walk(w, p->first, q->first);
  }
}

}  // namespace

int collTreeCollide(const CollTree* a, const CollTree* b, int allPairs, IntPairList* pairs) {
  if (a == nullptr || b == nullptr || a->mesh == nullptr || b->mesh == nullptr) return 0;
  Walk w{a, b, {}, {}, allPairs, pairs, false, false};
  for (int k = 0; k < 3; ++k) {
    w.offA[k] = a->offset[k];
    w.offB[k] = b->offset[k];
  }
  walk(w, a->root, b->root);
  return w.touched ? 1 : 0;
}
