// The box-tree collision against an independent library: FCL's bounding
// volume hierarchies (Debian libfcl-dev, a test-only oracle) on random meshes
// in general position, where no pair of triangles merely touches.
#include <fcl/fcl.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "model/collision/coll_tree.h"

namespace {

std::vector<FloatTri> randomMesh(std::mt19937& rng, int n, double spread, double size) {
  std::uniform_real_distribution<float> c(0.0f, static_cast<float>(spread));
  std::uniform_real_distribution<float> d(-static_cast<float>(size), static_cast<float>(size));
  std::vector<FloatTri> tris(static_cast<std::size_t>(n));
  for (FloatTri& t : tris) {
    const float centre[3] = {c(rng), c(rng), c(rng)};
    for (auto& v : t.v) {
      for (int k = 0; k < 3; ++k) v[k] = centre[k] + d(rng);
    }
  }
  return tris;
}

std::shared_ptr<fcl::BVHModel<fcl::OBBRSSd>> fclModel(const std::vector<FloatTri>& tris) {
  auto m = std::make_shared<fcl::BVHModel<fcl::OBBRSSd>>();
  m->beginModel();
  for (const FloatTri& t : tris) {
    m->addTriangle(fcl::Vector3d(t.v[0][0], t.v[0][1], t.v[0][2]),
                   fcl::Vector3d(t.v[1][0], t.v[1][1], t.v[1][2]),
                   fcl::Vector3d(t.v[2][0], t.v[2][1], t.v[2][2]));
  }
  m->endModel();
  return m;
}

TEST(CollTreeFclOracle, AgreesOnRandomMeshesInGeneralPosition) {
  std::mt19937 rng(4242);
  int colliding = 0;
  const int rounds = 150;
  for (int round = 0; round < rounds; ++round) {
    const std::vector<FloatTri> ta = randomMesh(rng, 10 + round % 17, 8.0, 0.6);
    const std::vector<FloatTri> tb = randomMesh(rng, 10 + round % 23, 8.0, 0.6);
    const float shift[3] = {0.25f * static_cast<float>(round % 5), -0.5f, 0.125f};

    std::unique_ptr<FloatTriList, void (*)(FloatTriList*)> ma(listFloatTriNew(64), listFloatTriFree);
    std::unique_ptr<FloatTriList, void (*)(FloatTriList*)> mb(listFloatTriNew(64), listFloatTriFree);
    for (const FloatTri& t : ta) listFloatTriAppend(ma.get(), &t);
    for (const FloatTri& t : tb) listFloatTriAppend(mb.get(), &t);
    std::unique_ptr<CollTree, void (*)(CollTree*)> a(collTreeBuild(ma.get()), collTreeFree);
    std::unique_ptr<CollTree, void (*)(CollTree*)> b(collTreeBuild(mb.get()), collTreeFree);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    collTreeSetOffset(b.get(), shift[0], shift[1], shift[2]);
    const int ours = collTreeCollide(a.get(), b.get(), 0, nullptr);

    fcl::Transform3d tfb = fcl::Transform3d::Identity();
    tfb.translation() = fcl::Vector3d(shift[0], shift[1], shift[2]);
    fcl::CollisionObjectd oa(fclModel(ta), fcl::Transform3d::Identity());
    fcl::CollisionObjectd ob(fclModel(tb), tfb);
    fcl::CollisionRequestd request;
    fcl::CollisionResultd result;
    fcl::collide(&oa, &ob, request, result);
    EXPECT_EQ(ours, result.isCollision() ? 1 : 0) << "round " << round;
    colliding += ours;
  }
  EXPECT_GT(colliding, rounds / 10);
  EXPECT_LT(colliding, rounds - rounds / 10);
}

}  // namespace
