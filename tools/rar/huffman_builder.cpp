#include "huffman_builder.h"

#include <algorithm>

namespace rarpack {

namespace {

struct Node {
  std::uint64_t weight;
  int leaf;  // symbol, or -1 for a package
  int left, right;
};

void CountLeaves(const std::vector<Node>& nodes, int i, std::vector<std::uint8_t>& lengths) {
  while (nodes[i].leaf < 0) {
    CountLeaves(nodes, nodes[i].left, lengths);
    i = nodes[i].right;
  }
  ++lengths[nodes[i].leaf];
}

}  // namespace

std::vector<std::uint8_t> BuildCodeLengths(const std::uint32_t* freq, int count, int maxBits) {
  std::vector<std::uint8_t> lengths(count, 0);
  std::vector<std::pair<std::uint64_t, int>> used;
  for (int i = 0; i < count; ++i)
    if (freq[i] != 0) used.push_back({freq[i], i});
  // Make up two symbols so the code is complete.
  for (int i = 0; used.size() < 2 && i < count; ++i) {
    if (freq[i] == 0) used.push_back({1, i});
  }
  if (used.size() < 2) {
    for (auto& u : used) lengths[u.second] = 1;
    return lengths;
  }
  std::sort(used.begin(), used.end());
  std::vector<Node> nodes;
  nodes.reserve(used.size() * (maxBits + 1) * 2);
  std::vector<int> leaves;
  for (auto& u : used) {
    leaves.push_back(static_cast<int>(nodes.size()));
    nodes.push_back({u.first, u.second, -1, -1});
  }
  // Package-merge: each round pairs up the current list and merges the packages with
  // the leaves; after maxBits - 1 rounds the cheapest 2n - 2 items give the lengths.
  std::vector<int> cur = leaves;
  for (int round = 1; round < maxBits; ++round) {
    std::vector<int> packages;
    for (std::size_t i = 0; i + 1 < cur.size(); i += 2) {
      packages.push_back(static_cast<int>(nodes.size()));
      nodes.push_back({nodes[cur[i]].weight + nodes[cur[i + 1]].weight, -1, cur[i], cur[i + 1]});
    }
    std::vector<int> merged;
    merged.reserve(leaves.size() + packages.size());
    std::merge(leaves.begin(), leaves.end(), packages.begin(), packages.end(), std::back_inserter(merged),
               [&](int a, int b) { return nodes[a].weight < nodes[b].weight; });
    cur.swap(merged);
  }
  std::size_t take = 2 * used.size() - 2;
  for (std::size_t i = 0; i < take; ++i) CountLeaves(nodes, cur[i], lengths);
  return lengths;
}

std::vector<std::uint16_t> CanonicalCodes(const std::uint8_t* lengths, int count) {
  std::uint32_t perLength[16] = {};
  for (int i = 0; i < count; ++i) ++perLength[lengths[i] & 15];
  perLength[0] = 0;
  std::uint32_t next[16] = {};
  std::uint32_t code = 0;
  for (int n = 1; n < 16; ++n) {
    code = (code + perLength[n - 1]) << 1;
    next[n] = code;
  }
  std::vector<std::uint16_t> codes(count, 0);
  for (int i = 0; i < count; ++i) {
    int n = lengths[i] & 15;
    if (n != 0) codes[i] = static_cast<std::uint16_t>(next[n]++);
  }
  return codes;
}

}  // namespace rarpack
