#include "engine/graph/graph_walk.h"

#include <algorithm>

namespace {

void VisitFrom(GraphNode* node, std::vector<GraphNode*>& path, const std::function<void(GraphNode*)>& visit) {
  path.push_back(node);
  for (uint32_t k = 0; k < node->outputCount; ++k) {
    GraphNode* down = node->outputs[k];
    if (down != nullptr && std::find(path.begin(), path.end(), down) == path.end()) VisitFrom(down, path, visit);
  }
  path.pop_back();
  visit(node);
}

}  // namespace

Graph* GraphFromHandle(QVAHandle handle) { return static_cast<Graph*>(QVAGetTypedHandle(handle, QVA_HANDLE_GRAPH)); }

bool IsGraphRoot(const GraphNode* node) {
  return std::all_of(node->inputs, node->inputs + node->inputCount, [](const GraphNode* n) { return n == nullptr; });
}

bool IsGraphLeaf(const GraphNode* node) {
  return std::all_of(node->outputs, node->outputs + node->outputCount, [](const GraphNode* n) { return n == nullptr; });
}

void VisitPostOrder(const Graph* graph, const std::function<void(GraphNode*)>& visit) {
  std::vector<GraphNode*> path;
  for (GraphNode* node = graph->first; node != nullptr; node = node->next) {
    if (IsGraphRoot(node)) VisitFrom(node, path, visit);
  }
}

std::vector<GraphNode*> ReachableLeaves(GraphNode* node, size_t limit) {
  std::vector<GraphNode*> leaves;
  std::vector<GraphNode*> seen;
  std::vector<GraphNode*> pending{node};
  while (!pending.empty() && leaves.size() < limit) {
    GraphNode* n = pending.back();
    pending.pop_back();
    if (n == nullptr || std::find(seen.begin(), seen.end(), n) != seen.end()) continue;
    seen.push_back(n);
    if (IsGraphLeaf(n)) leaves.push_back(n);
    // Reverse order, so the first output is taken first.
    for (uint32_t k = n->outputCount; k > 0; --k) pending.push_back(n->outputs[k - 1]);
  }
  return leaves;
}
