#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/qva_component.h"

namespace {

struct Row {
  uint32_t code;
  std::string text;
};

// Every row, in table order, as the system's logs print them.
const std::vector<Row> kStatusRows = {
    {0, "Success"}, {1, "Generic Error"}, {2, "Unsupported"}, {3, "Bad argument supplied to routine"},
    {4, "Error allocating memory"}, {5, "Error during execution"}, {6, "No more buffers available"},
    {7, "Not found"}, {8, "Unable to open or initialize"}, {9, "Error reading"}, {10, "Error writing"},
    {11, "Not in open state"}, {17, "Error between components"}, {18, "End of stream"},
    {19, "Invalid in stopped state"}, {20, "Error connecting components"}, {21, "Already opened"},
    {22, "Routine or component is busy"}, {23, "Mediatype unsupported"}, {24, "Wrong state for action"},
    {25, "Unknown format"}, {26, "Operation timed out"}, {27, "Operation aborted"},
    {28, "Bad handle supplied to routine"}, {29, "Buffer supplied is too small to fit data"},
    {30, "Buffer must be supplied"}, {31, "Error parsing configuration setting "},
    {32, "Error in command syntax"}, {33, "Component not found"}, {34, "Unknown solution"},
    {35, "No components were created in graph."}, {36, "Invalid PIN specified."}, {37, "Command unknown"},
    {38, "Function unknown"}, {39, "Parameter unknown"}, {40, "Format not supported"},
    {41, "Buffers are too full to process"}, {42, "Already started"}, {43, "Error processing marker"},
    {44, "String type not supported"}, {45, "Fatal error"}, {46, "Action ignored"},
    {47, "No index was found"}, {48, "Index is invalid"}, {49, "Stream is corrupted"},
    {50, "Flush in process"}, {51, "Component is not connected"}, {52, "Error seeking"},
    {0x201, "Speed is unsupported"}, {0x202, "Seek is unsupported"}};

const std::vector<Row> kStateRows = {
    {0x0, "NONE"}, {0x1, "INIT"}, {0x2, "IDLE"}, {0x4, "PREROLL"}, {0x8, "STARTING"},
    {0x10, "PLAYING"}, {0x20, "PAUSING"}, {0x40, "PAUSED"}, {0x1000, "RATECHANGE"},
    {0x2000, "TRICK"}, {0x4000, "SEEKING"}, {0x10000, "STOPPING"}, {0x20000, "STOPPED"},
    {0x100, "STEPPING"}, {0x80000, "DESTROYING"}, {0x10000000, "STREAMERROR"},
    {0x40000000, "INTERNALERROR"}, {0x80000000, "UNKNOWN"}};

const std::vector<Row> kCommandRows = {
    {0x0, "NONE"}, {0x1, "PLAY"}, {0x2, "PAUSE"}, {0x4, "STOP"}, {0x8, "PLAY_INDEX"},
    {0x10, "STEP"}, {0x20, "NEXT"}, {0x40, "PREVIOUS"}, {0x80, "RESTART"}, {0x200, "SEEK"},
    {0x1000, "CONNECT"}, {0x2000, "DISCONNECT"}, {0x4000, "EMPTY"}, {0x8000, "FLUSH"}};

struct TableCase {
  const char* name;
  const QVACodeText* table;
  const std::vector<Row>* rows;
  const char* sentinel;
};

TEST(QvaStatus, TextTablesHoldEveryRowInOrderAndEndWithTheirSentinel) {
  const TableCase cases[] = {
      {"status", kQVAStatusTexts, &kStatusRows, "Unkown error status"},
      {"state", kQVAStateTexts, &kStateRows, "Unknown"},
      {"command", kQVACommandTexts, &kCommandRows, "Unknown"},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.name);
    size_t i = 0;
    for (; c.table[i].code != kQVATextSentinel; ++i) {
      ASSERT_LT(i, c.rows->size());
      EXPECT_EQ(c.table[i].code, (*c.rows)[i].code) << "row " << i;
      EXPECT_EQ(std::string(c.table[i].text), (*c.rows)[i].text) << "row " << i;
      EXPECT_EQ(std::string(QVALookupText(c.table, (*c.rows)[i].code)), (*c.rows)[i].text);
    }
    EXPECT_EQ(i, c.rows->size());
    EXPECT_EQ(std::string(c.table[i].text), c.sentinel);
  }
}

TEST(QvaStatus, LookupMatchesExactlyAndFallsBackToTheSentinel) {
  const struct {
    const QVACodeText* table;
    uint32_t code;
    const char* text;
  } cases[] = {
      {kQVAStatusTexts, 56, "Unkown error status"},
      {kQVAStatusTexts, 12, "Unkown error status"},
      {kQVAStatusTexts, 31, "Error parsing configuration setting "},
      {kQVAStateTexts, 0x10010, "Unknown"},
      {kQVACommandTexts, 0x3, "Unknown"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(QVALookupText(c.table, c.code)), c.text) << "code " << c.code;
  }
}

TEST(QvaStatus, MaskTestSharesABitOrEqualsTheMask) {
  const struct {
    uint32_t mask;
    uint32_t trueFor;  // states (of the table below) for which the test is true, as a bit set of indices
  } cases[] = {
      {0, 1u << 0},                                // only NONE
      {QVA_STATES_END, (1u << 11) | (1u << 12)},   // STOPPING and STOPPED
      {0xFFFFFFDFu, ~((1u << 0) | (1u << 6))},     // all but NONE and PAUSING
  };
  const uint32_t states[] = {QVA_STATE_NONE,      QVA_STATE_INIT,     QVA_STATE_IDLE,    QVA_STATE_PREROLL,
                             QVA_STATE_STARTING,  QVA_STATE_PLAYING,  QVA_STATE_PAUSING, QVA_STATE_PAUSED,
                             QVA_STATE_STEPPING,  QVA_STATE_RATECHANGE, QVA_STATE_TRICK, QVA_STATE_STOPPING,
                             QVA_STATE_STOPPED,   QVA_STATE_DESTROYING, QVA_STATE_SEEKING, QVA_STATE_UNKNOWN};
  for (const auto& c : cases) {
    for (uint32_t i = 0; i < std::size(states); ++i) {
      EXPECT_EQ(QVAMaskTest(states[i], c.mask), ((c.trueFor >> i) & 1u) != 0)
          << "mask " << std::hex << c.mask << " state " << states[i];
    }
  }
}

}  // namespace
