// The postfix writer of CAnalyseExpression.
#include <vector>

#include "expression/analyse_state.h"
#include "expression/leaf_item.h"
#include "qelshare/CAnalyseExpression.h"

void CAnalyseExpression::MakePoland(tagEXP_NODE* pNode) {
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
    qel::expr::EndStreamItem(m_strPoland);
    m_strPoland += node->strKey;
    qel::expr::EndStreamItem(m_strPoland);
  }
}
