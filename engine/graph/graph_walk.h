#pragma once
// How the graph operations find a graph and walk its nodes.
#include <functional>
#include <vector>

#include "engine/graph/component_graph.h"

// The graph behind a handle, or null for a handle that is not a graph.
Graph* GraphFromHandle(QVAHandle handle);

// A root has no upstream node, a leaf no downstream node.
bool IsGraphRoot(const GraphNode* node);
bool IsGraphLeaf(const GraphNode* node);

// Visits from each root in list order, depth first, each node's downstream nodes before the
// node itself; a node reached along two paths is visited once per path. A link back to a node
// on the current path is not followed.
void VisitPostOrder(const Graph* graph, const std::function<void(GraphNode*)>& visit);

// The leaves reachable from node (itself included), each once, at most limit of them.
std::vector<GraphNode*> ReachableLeaves(GraphNode* node, size_t limit);
