// CAnalyseExpression: the field registry, the steps of Analyse and the two results.
#include "qelshare/CAnalyseExpression.h"

#include <cstring>
#include <string>
#include <vector>

#include "expression/analyse_state.h"

CAnalyseExpression::CAnalyseExpression()
    : m_pRoot(nullptr), m_pState(std::make_unique<qel::expr::AnalyseState>()) {}

CAnalyseExpression::~CAnalyseExpression() {
  Free(m_pRoot);
}

void CAnalyseExpression::Free(tagEXP_NODE*& pNode) {
  // Nodes belong to the object's node store, and every one of them hangs under m_pRoot,
  // the only tree the object frees: releasing it gives the whole store back for reuse.
  m_pState->nodes.ReleaseAll();
  pNode = nullptr;
}

void CAnalyseExpression::AddField(char const* lpszName, char const* lpszCode, unsigned char cType) {
  if (lpszName == nullptr || *lpszName == '\0' || lpszCode == nullptr || *lpszCode == '\0') {
    return;
  }
  int index = m_arrFieldName.GetSize();
  m_arrFieldName.Add(lpszName, -1);
  m_arrFieldCode.Add(lpszCode, -1);
  m_arrFieldType.push_back(cType);
  auto [named, first] = m_pState->first_by_name.emplace(lpszName, index);
  m_pState->first_of_name.push_back(first);
  m_pState->first_named.push_back(named->second);
  m_pState->first_by_code.emplace(lpszCode, index);
  // A code registered now may resolve a member that did not resolve before.
  m_pState->members.assign(m_pState->members.size() + 1, {});
  m_pState->default_fields_known = false;
  if (cType == 's' && m_pState->default_field < 0) m_pState->default_field = index;
}

int CAnalyseExpression::Analyse(char const* lpszExp) {
  qel::expr::AnalyseState& state = *m_pState;
  state.error.clear();
  state.pieces.clear();

  Free(m_pRoot);
  if (AnalysePlainWords(lpszExp)) return 1;
  if (!CreateKeyTree(m_pRoot, lpszExp)) {
    Free(m_pRoot);
    return 0;
  }
  m_arrKeyStream.RemoveAll();
  state.pool.Clear();
  state.pool_is_stream = true;
  MakeKeyStream(m_pRoot);
  Free(m_pRoot);
  int count = m_arrKeyStream.GetSize();
  if (count == 0) {
    state.Fail("the expression holds no word");
    return 0;
  }

  // A NOT that follows an operand is a binary SUB.
  using qel::expr::Kind;
  Kind previous = qel::expr::kWord;
  bool first = true;
  auto& kinds = state.pool.kind;
  for (int i = 0; i < count; ++i) {
    Kind kind = kinds[i];
    if (kind == qel::expr::kNot && !first &&
        !(previous & (qel::expr::kLParen | qel::expr::kOr | qel::expr::kAnd | qel::expr::kSub |
                      qel::expr::kNot))) {
      m_arrKeyStream.Set(i, "SUB");
      state.pool.text[i] = m_arrKeyStream.Get(i);
      kind = kinds[i] = qel::expr::kSub;
    }
    previous = kind;
    first = false;
  }

  m_strRedKey.clear();
  if (!CreateExpTree(m_pRoot, m_arrKeyStream)) {
    state.TrimBuffers();
    return 0;
  }
  m_strPoland.clear();
  MakePoland(m_pRoot);
  Free(m_pRoot);
  state.TrimBuffers();
  if (m_strPoland.empty()) {
    state.Fail("the expression holds nothing to search for");
    return 0;
  }
  return 1;
}

CString CAnalyseExpression::GetPoland() {
  return m_strPoland;
}

CString CAnalyseExpression::GetRedKey() {
  for (char& c : m_strRedKey) {
    if (c == '+') c = ' ';
  }
  return m_strRedKey;
}

void CAnalyseExpression::AddRedKey(char const* lpszKey) {
  if (lpszKey == nullptr || *lpszKey == '\0') return;
  if (!m_strRedKey.empty()) m_strRedKey += ' ';
  m_strRedKey += lpszKey;
}

CString CAnalyseExpression::GetError() {
  return m_pState->error;
}
