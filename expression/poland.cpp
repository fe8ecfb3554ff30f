// The postfix writer of CAnalyseExpression.
#include <vector>

#include "expression/analyse_state.h"
#include "qelshare/CAnalyseExpression.h"

void CAnalyseExpression::MakePoland(tagEXP_NODE* pNode) {
  // Every item ends with exactly one carriage return; an item whose own text already ends
  // with one (a quoted word may hold it) gets no second.
  auto end_item = [this] {
    if (!m_strPoland.empty() && m_strPoland.back() != '\r') m_strPoland += '\r';
  };
  // Post-order walk with an explicit stack: a node is written once both of its subtrees
  // are; the flag marks nodes whose subtrees are already on their way.
  auto& stack = m_pState->postorder;
  stack.clear();
  if (pNode != nullptr) stack.push_back({pNode, false});
  while (!stack.empty()) {
    tagEXP_NODE* node = stack.back().first;
    if (!stack.back().second) {
      stack.back().second = true;
      if (node->pRight != nullptr) stack.push_back({node->pRight, false});
      if (node->pLeft != nullptr) stack.push_back({node->pLeft, false});
      continue;
    }
    stack.pop_back();
    end_item();
    m_strPoland += node->strKey;
    end_item();
  }
}
