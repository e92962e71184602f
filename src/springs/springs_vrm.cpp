// The setup from a character file's spring records: which nodes sway, what
// each hangs from and aims at, and which nodes the caller hands matrices for.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "springs/springs.h"

namespace {

// How far beyond an end bone a VRM 0.x chain's last tail sits, in metres.
const float kVrm0EndTail = 0.07f;

struct Notes {
  std::string first;
  int more = 0;
  void Add(const char* format, int a, int b = 0, int c = 0) {
    if (!first.empty()) {
      ++more;
      return;
    }
    char line[200];
    std::snprintf(line, sizeof line, format, a, b, c);
    first = std::string("springs: ") + line;
  }
  std::string Line() const { return more ? first + " (and " + std::to_string(more) + " more)" : first; }
};

// A file's rotation made unit length; none at all for a zero one.
void UnitRotation(const float r[4], float q[4]) {
  const float len = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
  for (int k = 0; k < 4; ++k) q[k] = len > 0 ? r[k] / len : (k == 3 ? 1.0f : 0.0f);
}

// Applies a node's rest transform (translation when `point`) to v.
void Apply(const SpringFileNode& n, bool point, float v[3]) {
  MATRIX m;
  const float none[3] = {0, 0, 0};
  float q[4];
  UnitRotation(n.rotation, q);
  SpringsLocalMatrix(point ? n.translation : none, q, n.scale, &m);
  const float x = v[0], y = v[1], z = v[2];
  for (int r = 0; r < 3; ++r) v[r] = m.f[r] * x + m.f[4 + r] * y + m.f[8 + r] * z + m.f[12 + r];
}

struct Builder {
  const std::vector<SpringFileNode>& nodes;
  std::vector<int> parent, depth;  // depth -1: in or below a cycle
  std::vector<MATRIX> world;       // rest pose
  std::vector<int> joint_of;       // per node: its joint, or -1
  std::map<int, int> fixed_of;     // node -> fixed node
  SpringSetup out;
  Notes notes;
  // Steps left for walking from a joint up to the one before it: a file
  // can ask for far more walking than it has nodes, never more than this.
  long walk_budget;

  explicit Builder(const std::vector<SpringFileNode>& file) : nodes(file) {
    const int n = static_cast<int>(nodes.size());
    parent.assign(n, -1);
    depth.assign(n, -1);
    joint_of.assign(n, -1);
    for (int i = 0; i < n; ++i)
      for (int c : nodes[i].children) {
        if (c < 0 || c >= n || c == i || parent[c] != -1) {
          notes.Add("node %d lists child %d out of range or held twice", i, c);
          continue;
        }
        parent[c] = i;
      }
    // Depths: each node's walk up stops at a node already known, or at one
    // on its own path (a cycle: that path gets no depth).
    std::vector<char> seen(n, 0);
    std::vector<int> path;
    for (int i = 0; i < n; ++i) {
      int m = i;
      for (path.clear(); m >= 0 && !seen[m]; m = parent[m]) {
        seen[m] = 1;
        path.push_back(m);
      }
      const bool dead = m >= 0 && (depth[m] < 0 || std::find(path.begin(), path.end(), m) != path.end());
      int d = m < 0 ? 0 : depth[m] + 1;
      for (auto it = path.rbegin(); it != path.rend(); ++it) depth[*it] = dead ? -1 : d++;
    }
    std::vector<int> order;
    for (int i = 0; i < n; ++i)
      if (depth[i] >= 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return depth[a] < depth[b]; });
    world.assign(n, MATRIX{});
    for (int i : order) {
      MATRIX local;
      float q[4];
      UnitRotation(nodes[i].rotation, q);
      SpringsLocalMatrix(nodes[i].translation, q, nodes[i].scale, &local);
      if (parent[i] >= 0)
        MatrixMultiply(world[i], local, world[parent[i]]);
      else
        world[i] = local;
    }
    walk_budget = 16L * n + 1024;
  }

  bool Usable(int node) const { return node >= 0 && node < static_cast<int>(nodes.size()) && depth[node] >= 0; }

  int Fixed(int node) {
    auto it = fixed_of.find(node);
    if (it != fixed_of.end()) return it->second;
    const int index = static_cast<int>(out.node_ids.size());
    out.node_ids.push_back(node);
    fixed_of[node] = index;
    return index;
  }

  // The fixed node of a chain's centre (-1: none); -1 and a note when the
  // index is unusable.
  int Centre(int node, int chain) {
    if (node == -1) return -1;
    if (Usable(node)) return Fixed(node);
    notes.Add("chain %d: centre node %d out of range", chain, node);
    return -1;
  }

  void AddJoint(int node, SpringJoint j, int chain, const float tail[3]) {
    j.chain = chain;
    std::copy(tail, tail + 3, j.tail);
    joint_of[node] = static_cast<int>(out.joints.size());
    out.joints.push_back(j);
    out.joint_ids.push_back(node);
  }

  // Collider groups for a chain: those in range.
  std::vector<int> Groups(const std::vector<int>& in, int chain) {
    std::vector<int> kept;
    for (int g : in) {
      if (g >= 0 && g < static_cast<int>(out.collider_groups.size()))
        kept.push_back(g);
      else
        notes.Add("chain %d: collider group %d out of range", chain, g);
    }
    return kept;
  }

  // Parents, rest transforms and an order with parents first (by depth).
  SpringSetup Finish(std::string* warning) {
    const size_t n = out.joints.size();
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return depth[out.joint_ids[a]] < depth[out.joint_ids[b]]; });
    std::vector<int> index_of(n);
    for (size_t k = 0; k < n; ++k) index_of[order[k]] = static_cast<int>(k);
    SpringSetup s;
    s.chains = out.chains;
    s.colliders = out.colliders;
    s.collider_groups = out.collider_groups;
    for (int old : order) {
      const int node = out.joint_ids[old];
      const SpringFileNode& f = nodes[node];
      SpringJoint j = out.joints[old];
      const int p = parent[node];
      j.parent_joint = p >= 0 && joint_of[p] >= 0 ? index_of[joint_of[p]] : -1;
      j.parent_node = p >= 0 && j.parent_joint < 0 ? Fixed(p) : -1;
      std::copy(f.translation, f.translation + 3, j.offset);
      std::copy(f.scale, f.scale + 3, j.scale);
      UnitRotation(f.rotation, j.rotation);
      s.joints.push_back(j);
      s.joint_ids.push_back(node);
    }
    s.node_ids = out.node_ids;  // with the parents Fixed() added above
    if (warning) *warning = notes.Line();
    return s;
  }
};

void Copy3(const float* from, float* to, bool flip_z) {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = flip_z ? -from[2] : from[2];
}

// A joint with the values of a 1.0 joint or a 0.x bone group.
template <typename In>
SpringJoint Values(const In& in, bool flip_z) {
  SpringJoint j;
  j.hit_radius = in.hit_radius;
  j.stiffness = in.stiffness;
  j.gravity_power = in.gravity_power;
  Copy3(in.gravity_dir, j.gravity_dir, flip_z);
  j.drag = in.drag;
  return j;
}

}  // namespace

SpringSetup SpringsFromVrm1(const std::vector<SpringFileNode>& nodes, const Vrm1SpringBoneIn& in,
                            std::string* warning) {
  Builder b(nodes);
  std::vector<int> collider_index(in.colliders.size(), -1);
  for (size_t i = 0; i < in.colliders.size(); ++i) {
    const Vrm1ColliderIn& c = in.colliders[i];
    if (!b.Usable(c.node)) {
      b.notes.Add("collider %d: node %d out of range", static_cast<int>(i), c.node);
      continue;
    }
    SpringCollider k;
    k.node = b.Fixed(c.node);
    k.capsule = c.capsule;
    Copy3(c.offset, k.offset, false);
    Copy3(c.tail, k.tail, false);
    k.radius = c.radius;
    collider_index[i] = static_cast<int>(b.out.colliders.size());
    b.out.colliders.push_back(k);
  }
  for (size_t g = 0; g < in.collider_groups.size(); ++g) {
    std::vector<int> group;
    for (int c : in.collider_groups[g]) {
      if (c >= 0 && c < static_cast<int>(collider_index.size()) && collider_index[c] >= 0)
        group.push_back(collider_index[c]);
      else
        b.notes.Add("collider group %d: collider %d out of range", static_cast<int>(g), c);
    }
    b.out.collider_groups.push_back(group);
  }
  for (size_t si = 0; si < in.springs.size(); ++si) {
    const Vrm1SpringIn& spring = in.springs[si];
    const int chain = static_cast<int>(b.out.chains.size());
    SpringChain ch;
    ch.centre_node = b.Centre(spring.center, chain);
    ch.collider_groups = b.Groups(spring.collider_groups, chain);
    b.out.chains.push_back(ch);
    // Each joint but the last sways towards the next one; the nodes between
    // the two follow it rigidly.
    for (size_t k = 0; k + 1 < spring.joints.size(); ++k) {
      const int head = spring.joints[k].node, next = spring.joints[k + 1].node;
      if (!b.Usable(head) || !b.Usable(next)) {
        b.notes.Add("spring %d: joint %d or the next one has no usable node", static_cast<int>(si),
                    static_cast<int>(k));
        break;
      }
      std::vector<int> between;
      int m = b.parent[next];
      for (int up = b.depth[next] - b.depth[head] - 1; up > 0 && b.walk_budget > 0; --up, --b.walk_budget) {
        between.push_back(m);
        m = b.parent[m];
      }
      bool taken = b.joint_of[head] >= 0;
      for (int x : between) taken = taken || b.joint_of[x] >= 0;
      if (m != head || taken) {
        b.notes.Add(m != head ? "spring %d: node %d is not below node %d (within reach)"
                              : "spring %d: node %d or one above it, below node %d, sways twice",
                    static_cast<int>(si), next, head);
        break;
      }
      float tail[3];
      std::copy(nodes[next].translation, nodes[next].translation + 3, tail);
      for (int x : between) Apply(nodes[x], true, tail);
      b.AddJoint(head, Values(spring.joints[k], false), chain, tail);
      const float none[3] = {0, 0, 0};
      for (int x : between) b.AddJoint(x, SpringJoint(), -1, none);
    }
  }
  return b.Finish(warning);
}

SpringSetup SpringsFromVrm0(const std::vector<SpringFileNode>& nodes, const Vrm0SecondaryIn& in, std::string* warning) {
  Builder b(nodes);
  // The file's vectors are in a left-handed frame: z turns round.
  for (size_t g = 0; g < in.collider_groups.size(); ++g) {
    const Vrm0ColliderGroupIn& group = in.collider_groups[g];
    std::vector<int> list;
    if (b.Usable(group.node)) {
      for (const Vrm0ColliderIn& c : group.colliders) {
        SpringCollider k;
        k.node = b.Fixed(group.node);
        Copy3(c.offset, k.offset, true);
        k.radius = c.radius;
        list.push_back(static_cast<int>(b.out.colliders.size()));
        b.out.colliders.push_back(k);
      }
    } else {
      b.notes.Add("collider group %d: node %d out of range", static_cast<int>(g), group.node);
    }
    b.out.collider_groups.push_back(list);
  }
  for (size_t gi = 0; gi < in.bone_groups.size(); ++gi) {
    const Vrm0BoneGroupIn& group = in.bone_groups[gi];
    const SpringJoint j = Values(group, true);
    for (int root : group.bones) {
      if (!b.Usable(root)) {
        b.notes.Add("bone group %d: root node %d out of range", static_cast<int>(gi), root);
        continue;
      }
      if (b.joint_of[root] >= 0) continue;  // below an earlier root: that one's values hold
      const int chain = static_cast<int>(b.out.chains.size());
      SpringChain ch;
      ch.centre_node = b.Centre(group.center, chain);
      ch.collider_groups = b.Groups(group.collider_groups, chain);
      b.out.chains.push_back(ch);
      // The root and every node below it, each towards its first child; an
      // end bone towards a point 7 cm on along the line from its parent.
      std::vector<int> stack{root};
      while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        if (b.joint_of[n] >= 0) continue;
        const SpringFileNode& node = nodes[n];
        std::vector<int> kids;
        for (int c : node.children)
          if (c >= 0 && c < static_cast<int>(nodes.size()) && b.parent[c] == n) kids.push_back(c);
        float tail[3] = {0, 0, 0};
        if (!kids.empty()) {
          std::copy(nodes[kids[0]].translation, nodes[kids[0]].translation + 3, tail);
        } else if (b.parent[n] >= 0 && node.scale[0] != 0 && node.scale[1] != 0 && node.scale[2] != 0) {
          // The bone's own direction in its space: its translation, turned
          // back by its rotation and unscaled; made 7 cm long in the world.
          const float* pw = b.world[b.parent[n]].f;
          const float* t = node.translation;
          float along[3];
          for (int k = 0; k < 3; ++k) along[k] = pw[k] * t[0] + pw[4 + k] * t[1] + pw[8 + k] * t[2];
          const float world = std::sqrt(along[0] * along[0] + along[1] * along[1] + along[2] * along[2]);
          SpringFileNode back;
          UnitRotation(node.rotation, back.rotation);
          for (int k = 0; k < 3; ++k) back.rotation[k] = -back.rotation[k];
          std::copy(node.translation, node.translation + 3, tail);
          Apply(back, false, tail);
          for (int k = 0; k < 3; ++k) tail[k] = world > 0 ? tail[k] / node.scale[k] * (kVrm0EndTail / world) : 0;
        }
        b.AddJoint(n, j, chain, tail);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
      }
    }
  }
  return b.Finish(warning);
}
