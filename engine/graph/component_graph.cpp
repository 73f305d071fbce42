// Graph creation, nodes and their aliases, connections, removal and release.
#include "engine/graph/component_graph.h"

#include <cstring>
#include <string>

#include "engine/catalogue/component_loader.h"
#include "engine/text/engine_strings.h"
#include "engine/text/engine_trace.h"
#include "engine/graph/graph_walk.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;

// The alias without a pin suffix "[d]", and the suffix digit (or -1).
std::string AliasBase(const char* alias, int* pin) {
  const size_t length = strnlen(alias, kGraphAliasSize);
  *pin = -1;
  if (length >= 3 && alias[length - 3] == '[' && IsTextDigit(alias[length - 2]) && alias[length - 1] == ']') {
    *pin = alias[length - 2] - '0';
    return std::string(alias, length - 3);
  }
  return std::string(alias, length);
}

void AppendNode(Graph* graph, GraphNode* node) {
  GraphNode** tail = &graph->first;
  GraphNode* prev = nullptr;
  while (*tail != nullptr) {
    prev = *tail;
    tail = &(*tail)->next;
  }
  node->prev = prev;
  *tail = node;
}

void UnlinkNode(Graph* graph, GraphNode* node) {
  if (node->prev != nullptr) node->prev->next = node->next;
  else graph->first = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  node->prev = node->next = nullptr;
}

// The place a new link takes in a node's list: the first empty one, else the next one; -1 when
// all four are taken.
int FreeLinkPlace(GraphNode* const* links, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (links[k] == nullptr) return static_cast<int>(k);
  }
  return count < kGraphLinks ? static_cast<int>(count) : -1;
}

void StoreLink(GraphNode** links, uint32_t* count, int place, GraphNode* peer) {
  links[place] = peer;
  if (static_cast<uint32_t>(place) >= *count) *count = static_cast<uint32_t>(place) + 1;
}

QVAStatus DisconnectOutput(ComponentInstance* component, uint32_t pin) {
  if (component->methods.QVAComp_ConnectOutput == nullptr) return QVA_ERR_UNSUPPORTED;
  return component->methods.QVAComp_ConnectOutput(component, pin, nullptr, nullptr, nullptr);
}

// Disconnects every link of the node, unlinks it from the graph and frees it; the status of the
// last disconnect (0 without links).
QVAStatus RemoveNode(Graph* graph, GraphNode* node) {
  QVAStatus status = QVA_SUCCESS;
  UnlinkNode(graph, node);
  for (uint32_t i = 0; i < node->inputCount; ++i) {
    GraphNode* up = node->inputs[i];
    if (up == nullptr) continue;
    for (uint32_t k = 0; k < up->outputCount; ++k) {
      if (up->outputs[k] != node) continue;
      status = DisconnectOutput(up->component, k);
      up->outputs[k] = nullptr;
    }
  }
  for (uint32_t k = 0; k < node->outputCount; ++k) {
    GraphNode* down = node->outputs[k];
    if (down == nullptr) continue;
    status = DisconnectOutput(node->component, k);
    for (uint32_t j = 0; j < down->inputCount; ++j) {
      if (down->inputs[j] != node) continue;
      ComponentInstance* d = down->component;
      status = d->methods.QVAComp_GetInputPin != nullptr ? d->methods.QVAComp_GetInputPin(d, j, nullptr, nullptr)
                                                         : QVA_ERR_UNSUPPORTED;
      down->inputs[j] = nullptr;
    }
  }
  delete node;
  return status;
}

// Push connection, with the pull connection as the fallback.
QVAStatus ConnectComponents(ComponentInstance* up, uint32_t outPin, ComponentInstance* down, uint32_t inPin,
                            uint32_t* outPull) {
  const std::string upName = CompShortName(up);
  const std::string downName = CompShortName(down);
  QVAengine_Trace(nullptr, kTrace, "graph_ConnectPins(%s[%d], %s[%d]) enter\n", upName.c_str(),
                  static_cast<int>(outPin), downName.c_str(), static_cast<int>(inPin));
  if (up == nullptr || down == nullptr) return QVA_ERR_BADHANDLE;
  uint32_t pull = 0;
  QVAStatus status = QVA_ERR_UNSUPPORTED;
  QVAGetEmptyBufferFn getEmpty = nullptr;
  QVADeliverBufferFn deliver = nullptr;
  if (down->methods.QVAComp_GetInputPin != nullptr &&
      (status = down->methods.QVAComp_GetInputPin(down, inPin, &getEmpty, &deliver)) == QVA_SUCCESS) {
    status = up->methods.QVAComp_ConnectOutput != nullptr
                 ? up->methods.QVAComp_ConnectOutput(up, outPin, getEmpty, deliver, down)
                 : QVA_ERR_UNSUPPORTED;
    QVAengine_Trace(nullptr, kTrace, "QVAgraph_ConnectPins() Connected: %s[%d] -> %s[%d]\n", upName.c_str(),
                    static_cast<int>(outPin), downName.c_str(), static_cast<int>(inPin));
  } else {
    status = down->methods.QVAComp_ConnectInput != nullptr
                 ? down->methods.QVAComp_ConnectInput(down, up, 0, inPin, 0)
                 : QVA_ERR_UNSUPPORTED;
    if (status == QVA_SUCCESS) {
      pull = 1;
      QVAengine_Trace(nullptr, kTrace, "QVAgraph_ConnectPins() Connected: %p[%d] -> %p[%d]\n",
                      static_cast<void*>(up), static_cast<int>(outPin), static_cast<void*>(down),
                      static_cast<int>(inPin));
    }
  }
  if (outPull != nullptr) *outPull = pull;
  QVAengine_Trace(nullptr, kTrace, "graph_ConnectPins() done: bPullModel=%d\n", static_cast<int>(pull));
  return status;
}

}  // namespace

GraphNode* graph_FindNodeByComp(GraphNode* first, ComponentInstance* component) {
  for (GraphNode* node = first; node != nullptr; node = node->next) {
    if (node->component == component) return node;
  }
  return nullptr;
}

QVAStatus QVAgraph_Create(QVAHandle* outGraph) {
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Create() enter\n");
  QVAStatus status = QVA_SUCCESS;
  if (outGraph == nullptr) {
    status = QVA_ERR_BADARG;
  } else {
    const Graph initial{QVAGetTime(), nullptr};
    *outGraph = QVAAllocHandle(QVA_HANDLE_GRAPH, &initial, sizeof initial);
    if (*outGraph == nullptr) status = QVA_ERR_NOMEMORY;
  }
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Create() done: eResult=0x%08X\n", status);
  return status;
}

QVAStatus QVAgraph_AddComp(QVAHandle graphHandle, ComponentInstance* component, const char* alias) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  if (component == nullptr) return QVA_ERR_BADARG;
  const std::string shortName = CompShortName(component);
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_AddComp(%p,%s) enter\n", static_cast<void*>(component),
                  alias != nullptr ? alias : shortName.c_str());
  GraphNode* node = graph_FindNodeByComp(graph->first, component);
  if (node != nullptr) {
    QVAengine_Trace(nullptr, kTrace, "QVAgraph_AddComp(%p,%s) already added as: %s\n", static_cast<void*>(component),
                    alias != nullptr ? alias : "", node->aliases[0]);
  } else {
    node = new GraphNode{};
    node->component = component;
    AppendNode(graph, node);
  }
  if (alias != nullptr) {
    for (char* place : node->aliases) {
      if (place[0] == '\0') {
        StrCopyN(place, alias, kGraphAliasSize - 1);
        break;
      }
    }
  }
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_AddComp(%p) done\n", static_cast<void*>(component));
  return QVA_SUCCESS;
}

QVAStatus QVAgraph_RemoveComp(QVAHandle graphHandle, ComponentInstance* component) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_AddComp(%p/%s)enter\n", static_cast<void*>(component),
                  CompShortName(component).c_str());
  GraphNode* node = graph_FindNodeByComp(graph->first, component);
  if (node == nullptr) return QVA_ERR_NOTFOUND;
  const QVAStatus status = RemoveNode(graph, node);
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_AddComp(%p) done\n", static_cast<void*>(component));
  return status;
}

QVAStatus QVAgraph_FindComp(QVAHandle graphHandle, ComponentInstance** outComponent, const char* name,
                            uint32_t* outPin) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  if (outComponent == nullptr) return QVA_ERR_BADARG;
  if (name == nullptr) name = "";
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_FindComp(%s) enter\n", name);
  *outComponent = nullptr;
  for (GraphNode* node = graph->first; node != nullptr && *outComponent == nullptr; node = node->next) {
    for (const char* alias : node->aliases) {
      if (alias[0] == '\0') continue;
      int pin = -1;
      if (StrCompareNoCase(AliasBase(alias, &pin).c_str(), name, -1) != 0) continue;
      *outComponent = node->component;
      if (pin >= 0 && outPin != nullptr) *outPin = static_cast<uint32_t>(pin);
      break;
    }
  }
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_FindComp(%s) done\n", name);
  return QVA_SUCCESS;
}

QVAStatus QVAgraph_ConnectPins(QVAHandle graphHandle, ComponentInstance* up, uint32_t outPin, ComponentInstance* down,
                               uint32_t inPin, uint32_t* outPull) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_ConnectPins(%s[%d], %s[%d]) enter\n", CompShortName(up).c_str(),
                  static_cast<int>(outPin), CompShortName(down).c_str(), static_cast<int>(inPin));
  GraphNode* upNode = up != nullptr ? graph_FindNodeByComp(graph->first, up) : nullptr;
  GraphNode* downNode = down != nullptr ? graph_FindNodeByComp(graph->first, down) : nullptr;
  const bool record = upNode != nullptr && downNode != nullptr;
  const int outPlace = record ? FreeLinkPlace(upNode->outputs, upNode->outputCount) : 0;
  const int inPlace = record ? FreeLinkPlace(downNode->inputs, downNode->inputCount) : 0;
  if (outPlace < 0 || inPlace < 0) {
    // A node keeps at most four links each way; a fifth could never be disconnected.
    QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_ERROR, "QVAgraph_ConnectPins(%s[%d], %s[%d]) refused: too many links\n",
                    CompShortName(up).c_str(), static_cast<int>(outPin), CompShortName(down).c_str(),
                    static_cast<int>(inPin));
    return QVA_ERR_CONNECT;
  }
  uint32_t pull = 0;
  const QVAStatus status = ConnectComponents(up, outPin, down, inPin, &pull);
  if (outPull != nullptr) *outPull = pull;
  if (record) {
    StoreLink(upNode->outputs, &upNode->outputCount, outPlace, downNode);
    StoreLink(downNode->inputs, &downNode->inputCount, inPlace, upNode);
  }
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_ConnectPins() done: bPullModel=%d\n", static_cast<int>(pull));
  return status;
}

QVAStatus QVAgraph_Release(QVAHandle graphHandle, uint32_t unload, uint32_t) {
  Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return QVA_ERR_BADHANDLE;
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Release() enter\n");
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Release() disconnect\n");
  while (graph->first != nullptr) {
    ComponentInstance* component = graph->first->component;
    RemoveNode(graph, graph->first);
    if (unload) CompUnload(component);
  }
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Release() QVAReleaseHandle\n");
  QVAReleaseHandle(graphHandle);
  QVAengine_Trace(nullptr, kTrace, "QVAgraph_Release() done\n");
  return QVA_SUCCESS;
}

uint32_t graph_CountComps(QVAHandle graphHandle) {
  Graph* graph = GraphFromHandle(graphHandle);
  uint32_t count = 0;
  for (GraphNode* node = graph != nullptr ? graph->first : nullptr; node != nullptr; node = node->next) ++count;
  return count;
}
