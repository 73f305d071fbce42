// What a graph tells about itself: its printed tree, and its components' trace events.
#include <string>
#include <vector>

#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "engine/text/engine_paths.h"
#include "engine/text/engine_trace.h"
#include "engine/graph/graph_walk.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;

void PrintNode(const GraphNode* node, uint32_t depth, std::vector<const GraphNode*>& path) {
  std::string indent(2 + 2 * depth, ' ');
  if (depth > 0) indent += "->";
  const ComponentInstance* c = node->component;
  QVADebugPrintf("%s%s(%s,ver:c%X,b%X,t%X)\n", indent.c_str(), node->aliases[0], CompShortName(c).c_str(),
                 c->compVersion, c->compBuild, c->typesVersion);
  path.push_back(node);
  for (uint32_t k = 0; k < node->outputCount; ++k) {
    const GraphNode* down = node->outputs[k];
    bool onPath = false;
    for (const GraphNode* p : path) onPath = onPath || p == down;
    if (down != nullptr && !onPath) PrintNode(down, depth + 1, path);
  }
  path.pop_back();
}

// The component's trace-event managers, as its log parameter reports them; the query's status.
QVAStatus ComponentManagers(ComponentInstance* c, std::vector<EventManager*>* managers) {
  managers->clear();
  if (c->methods.QVAComp_GetParam == nullptr) return QVA_ERR_UNSUPPORTED;
  LogSetup setup{};
  setup.flags = QVA_LOGFLAG_KEEP_MANAGER;
  const QVAStatus status = c->methods.QVAComp_GetParam(c, QVA_PARAM_LOG, &setup, sizeof setup);
  if (status != QVA_SUCCESS) return status;
  const uint32_t count = setup.managerCount < std::size(setup.managers) ? setup.managerCount : std::size(setup.managers);
  for (uint32_t k = 0; k < count; ++k) {
    if (setup.managers[k] != nullptr) managers->push_back(setup.managers[k]);
  }
  return status;
}

void KeepSmallestNonZero(uint64_t value, uint64_t* kept) {
  if (value != 0 && (*kept == 0 || value < *kept)) *kept = value;
}

}  // namespace

QVAStatus QVAgraph_Print(QVAHandle graphHandle, const char* title) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  if (title != nullptr) {
    const std::string text(title);
    QVADebugPrintf("%s%s", title, !text.empty() && text.back() == '\n' ? "" : "\n");
  }
  if (graph->first == nullptr) {
    QVADebugPrintf(" empty\n");
    return QVA_ERR_BADHANDLE;
  }
  std::vector<const GraphNode*> path;
  for (const GraphNode* node = graph->first; node != nullptr; node = node->next) {
    if (IsGraphRoot(node)) PrintNode(node, 0, path);
  }
  return QVA_SUCCESS;
}

QVAStatus QVAgraph_GetStats(QVAHandle graphHandle, uint64_t* outFirstTime, uint64_t* outFirstCycles) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  uint64_t firstTime = 0;
  uint64_t firstCycles = 0;
  QVAStatus status = QVA_SUCCESS;
  std::vector<EventManager*> managers;
  for (GraphNode* node = graph->first; node != nullptr; node = node->next) {
    status = ComponentManagers(node->component, &managers);
    for (EventManager* manager : managers) {
      EventStats summary{};
      EventManager_GetSummary(manager, &summary);
      KeepSmallestNonZero(summary.firstTime, &firstTime);
      KeepSmallestNonZero(summary.firstCycles, &firstCycles);
    }
  }
  if (outFirstTime != nullptr) *outFirstTime = firstTime;
  if (outFirstCycles != nullptr) *outFirstCycles = firstCycles;
  return status;
}

QVAStatus graph_DumpEvents(QVAHandle graphHandle, const char* folder, uint64_t timeOrigin, uint64_t cycleOrigin) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  const std::string dumpFolder = ResolveRootRelativePath(folder != nullptr ? folder : "");
  QVAStatus status = QVA_SUCCESS;
  std::vector<EventManager*> managers;
  for (GraphNode* node = graph->first; node != nullptr; node = node->next) {
    status = ComponentManagers(node->component, &managers);
    for (size_t k = 0; k < managers.size(); ++k) {
      const std::string name = "em_" + CompShortName(node->component) + std::to_string(k) + ".log";
      const std::string path = JoinPath(dumpFolder, name);
      QVAHandle file = QVAOpenFileWrite(path.c_str(), 1);
      if (file == nullptr) {
        status = QVA_ERR_OPEN;
        continue;
      }
      EventManagerDump(managers[k], file, 0xFFFFFFFFu, 0, -static_cast<int64_t>(cycleOrigin),
                       -static_cast<int64_t>(timeOrigin), kEventDumpCsv);
      QVACloseFile(file);
    }
    QVAengine_Trace(nullptr, kTrace, "graph_SetParam() done: 0x%X\n", status);
  }
  QVAengine_Trace(nullptr, kTrace, "graph_DumpEvents() done: 0x%X\n", status);
  return status;
}
