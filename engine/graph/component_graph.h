#pragma once
// A graph: the engine's record of the components of one stream path, how their pins are
// connected and by which names (aliases) the engine finds them. It sends commands and parameters
// to all its components, downstream components first, waits for the components at its ends,
// prints itself, dumps the components' trace events and finally disconnects and unloads them.
#include <cstdint>

#include "framework/qva_component.h"

inline constexpr uint32_t QVA_HANDLE_GRAPH = 0x80002;

// Graph commands carried out through the component's own methods.
inline constexpr uint32_t QVA_GRAPH_CMD_START = 0x10000;  // QVAComp_Start
inline constexpr uint32_t QVA_GRAPH_CMD_END = 0x20000;    // QVAComp_End

inline constexpr uint32_t kGraphAliases = 4;
inline constexpr uint32_t kGraphAliasSize = 32;  // 31 characters and the terminator
inline constexpr uint32_t kGraphLinks = 4;       // links of a node in each direction
inline constexpr uint32_t kGraphWaitLeaves = 32;
inline constexpr uint32_t kGraphWaitPollMs = 100;

struct GraphNode {
  ComponentInstance* component;
  // An alias may end in a pin suffix: "[", one decimal digit, "]".
  char aliases[kGraphAliases][kGraphAliasSize];
  GraphNode* prev;
  GraphNode* next;
  // Upstream and downstream nodes; a node's place in its peer's list is the pin number used
  // when the graph disconnects it. A removed peer leaves an empty place.
  GraphNode* inputs[kGraphLinks];
  uint32_t inputCount;  // places used
  GraphNode* outputs[kGraphLinks];
  uint32_t outputCount;
};

// The data of a graph handle.
struct Graph {
  uint64_t creationTime;  // ms of the framework clock
  GraphNode* first;       // nodes in the order their components were added
};

// Every operation answers 28 for a handle that is not a graph.
// 0 with a new empty graph; 3 without out; 4 when no handle can be had.
QVAStatus QVAgraph_Create(QVAHandle* outGraph);
// Appends a node for the component (or takes the node it already has) and gives it alias, when
// one is given, in its first empty alias place. 0; 3 without a component.
QVAStatus QVAgraph_AddComp(QVAHandle graph, ComponentInstance* component, const char* alias);
// Disconnects and frees the component's node; the last disconnect's status; 7 without a node.
QVAStatus QVAgraph_RemoveComp(QVAHandle graph, ComponentInstance* component);
// The first node (in order of adding, aliases in order) with an alias that equals name without
// case and without its pin suffix: *outComponent its component (null when none), *outPin the
// suffix digit when it has one (else unchanged). 0 also when nothing is found; 3 without
// outComponent.
QVAStatus QVAgraph_FindComp(QVAHandle graph, ComponentInstance** outComponent, const char* name, uint32_t* outPin);
// Connects up's output pin to down's input pin: by push (down hands its input pin's entry points
// to up), else by pull (down connects to up). Records the link when both have nodes, whatever
// the status; 20 without connecting when a node already has four links on that side.
// *outPull: 1 for a pull connection, else 0.
QVAStatus QVAgraph_ConnectPins(QVAHandle graph, ComponentInstance* up, uint32_t outPin, ComponentInstance* down,
                               uint32_t inPin, uint32_t* outPull);
// Sends command to every component in visiting order: QVA_GRAPH_CMD_START and
// QVA_GRAPH_CMD_END through the component's start and end methods, everything else through its
// command method with the two parameters and no time limit. The last component's status (0 for
// an empty graph). The further parameters are not used.
QVAStatus QVAgraph_SendCommand(QVAHandle graph, uint32_t command, uintptr_t param1, uintptr_t param2,
                               uintptr_t param3 = 0, uintptr_t param4 = 0, uint32_t param5 = 0);
// QVAComp_SetParam on every component in visiting order; the last status.
QVAStatus QVAgraph_SetParam(QVAHandle graph, uint32_t id, void* data, uint32_t size);
// The earliest non-zero first-event time and cycle count over the trace-event managers of all
// components; the last parameter query's status.
QVAStatus QVAgraph_GetStats(QVAHandle graph, uint64_t* outFirstTime, uint64_t* outFirstCycles);
// Writes the k-th trace-event manager of each component to folder/"em_" + short name + k + ".log"
// (CSV, times and cycles counted from the origins).
QVAStatus graph_DumpEvents(QVAHandle graph, const char* folder, uint64_t timeOrigin, uint64_t cycleOrigin);
// Polls, every 100 ms, the states of the leaves reachable from the first node (the first 32):
// 0 once their OR has a bit of mask; 26 on timeout (never with QVA_INFINITE) or without a leaf.
QVAStatus QVAgraph_WaitForState(QVAHandle graph, uint32_t mask, uint32_t timeoutMs);
// Prints title, then every root's tree, through the framework's debug print. 28 for a graph
// without nodes (after printing " empty").
QVAStatus QVAgraph_Print(QVAHandle graph, const char* title);
// Removes every node in the order of adding, unloading its component when unload is set, and
// frees the graph. 0.
QVAStatus QVAgraph_Release(QVAHandle graph, uint32_t unload, uint32_t reserved = 0);
// The number of nodes (0 for a bad handle).
uint32_t graph_CountComps(QVAHandle graph);
// The OR of the states of the leaves reachable from the first node. 0; 28 without out.
QVAStatus graph_GetRenderersState(QVAHandle graph, uint32_t* outState);
// The node of component in the list that starts at first, or null.
GraphNode* graph_FindNodeByComp(GraphNode* first, ComponentInstance* component);
