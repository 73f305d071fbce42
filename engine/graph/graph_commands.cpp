// Commands and parameters to every component of a graph, and waiting for its leaves.
#include "engine/graph/component_graph.h"
#include "engine/text/engine_trace.h"
#include "engine/graph/graph_walk.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;

QVAStatus SendToComponent(ComponentInstance* c, uint32_t command, uintptr_t param1, uintptr_t param2) {
  QVAStatus status = QVA_ERR_UNSUPPORTED;
  if (command == QVA_GRAPH_CMD_START) {
    if (c->methods.QVAComp_Start != nullptr) status = c->methods.QVAComp_Start(c);
  } else if (command == QVA_GRAPH_CMD_END) {
    if (c->methods.QVAComp_End != nullptr) status = c->methods.QVAComp_End(c);
  } else if (c->methods.QVAComp_SendCommand != nullptr) {
    status = c->methods.QVAComp_SendCommand(c, command, param1, param2, 0, 0, 0);
  }
  QVAengine_Trace(nullptr, kTrace, "graph_SendCommand() done: 0x%X\n", status);
  return status;
}

uint32_t LeafStates(const std::vector<GraphNode*>& leaves) {
  uint32_t states = 0;
  for (GraphNode* leaf : leaves) {
    ComponentInstance* c = leaf->component;
    uint32_t state = 0;
    if (c->methods.QVAComp_GetState != nullptr && c->methods.QVAComp_GetState(c, &state) == QVA_SUCCESS) {
      states |= state;
    }
  }
  return states;
}

}  // namespace

QVAStatus QVAgraph_SendCommand(QVAHandle graphHandle, uint32_t command, uintptr_t param1, uintptr_t param2, uintptr_t,
                               uintptr_t, uint32_t) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAStatus status = QVA_SUCCESS;
  VisitPostOrder(graph, [&](GraphNode* node) { status = SendToComponent(node->component, command, param1, param2); });
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_SendCommand() done: 0x%X\n", status);
  return status;
}

QVAStatus QVAgraph_SetParam(QVAHandle graphHandle, uint32_t id, void* data, uint32_t size) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAStatus status = QVA_SUCCESS;
  VisitPostOrder(graph, [&](GraphNode* node) {
    ComponentInstance* c = node->component;
    status = c->methods.QVAComp_SetParam != nullptr ? c->methods.QVAComp_SetParam(c, id, data, size)
                                                    : QVA_ERR_UNSUPPORTED;
    QVAengine_Trace(nullptr, kTrace, "graph_SetParam() done: 0x%X\n", status);
  });
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_SendCommand() done: 0x%X\n", status);
  return status;
}

QVAStatus QVAgraph_WaitForState(QVAHandle graphHandle, uint32_t mask, uint32_t timeoutMs) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAengine_Trace(nullptr, kTrace, "QVAengine_WaitForState(0x%04X)\n", mask);
  if (graph->first == nullptr) return QVA_ERR_TIMEOUT;
  const std::vector<GraphNode*> leaves = ReachableLeaves(graph->first, kGraphWaitLeaves);
  if (leaves.empty()) return QVA_ERR_TIMEOUT;
  for (uint64_t elapsed = 0;; elapsed += kGraphWaitPollMs) {
    if ((LeafStates(leaves) & mask) != 0) return QVA_SUCCESS;
    if (timeoutMs != QVA_INFINITE && elapsed >= timeoutMs) return QVA_ERR_TIMEOUT;
    QVASleep(kGraphWaitPollMs);
  }
}

QVAStatus graph_GetRenderersState(QVAHandle graphHandle, uint32_t* outState) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr || outState == nullptr) return QVA_ERR_BADHANDLE;
  *outState = graph->first != nullptr ? LeafStates(ReachableLeaves(graph->first, kGraphWaitLeaves)) : 0;
  return QVA_SUCCESS;
}
