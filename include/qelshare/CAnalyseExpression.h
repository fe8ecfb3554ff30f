// CAnalyseExpression: parses retrieval expressions into a postfix stream and highlight keys.
//
// The host registers its searchable fields once (AddField), then calls Analyse for each
// query a user types. On success it reads two texts:
//
//  - GetPoland: the postfix (Polish) operation stream. Each item ends with one carriage
//    return (byte 13). An item is an operator word "AND", "OR", "SUB" or "NOT", or a leaf
//    whose parts are separated by line feeds (byte 10):
//        "#" LF digits                  a numbered reference (#12)
//        code LF kind LF words          a text item, kind "NEAR", "ORDER" or "PARA"
//        code LF op LF value            a comparison item, op 0..9 (= > >= < <= <> and
//                                       the intervals () (] [) [])
//        code LF value                  a value item (fields of type D, E and #)
//    Operators follow their operands, left operand first; "NOT" follows its one operand.
//  - GetRedKey: the keywords to highlight, each followed by "[" code "]", in the order the
//    leaves were built, then the texts the host added with AddRedKey.
//
// The expression language: words (a double-quoted text is one word, quotes kept);
// operators AND, OR, SUB, NOT (case ignored), where OR and SUB bind loosest, then AND,
// then prefix NOT, and a NOT after an operand means SUB; a field qualifier "/" that
// applies the field list after it to everything on its left up to the nearest operator;
// round brackets; and inside one field, adjacent words joined by AND (fields of type S)
// or OR (type F), or held in one proximity leaf by NEAR, ORDER or PARA. Operands without
// a qualifier are searched in the default field, the first registered field of type s.
//
// Field type letters: S, F text fields (keywords highlighted); N, Y comparison fields
// (">=2000", "[1,10]"); D, # value fields; E a value field whose value is highlighted;
// s, f, n, d, y group fields, whose code lists member field codes separated by line feeds.
//
// All text is code page 936 (GBK) bytes; every scan is multibyte-aware, so the trail byte
// of a two-byte character is never taken for a delimiter, bracket or quote.
//
// Beyond the language itself, Analyse guards against hostile input: brackets nested
// deeper than kMaxNesting levels, and group fields whose members lead back to a field
// being resolved ("field cycle"), reject the expression. Long expressions are analysed in
// time close to linear in their length, without recursion, so flat chains of hundreds of
// thousands of operands and any input of a few megabytes are handled safely.
//
// GetError explains the last rejection to people. Objects are not copyable; one object
// serves one thread at a time.
#ifndef QELSHARE_CANALYSEEXPRESSION_H_
#define QELSHARE_CANALYSEEXPRESSION_H_

#include <memory>

#include "qelshare/CStringArr.h"
#include "qelshare/export.h"
#include "qelshare/types.h"

// A node of the trees Analyse builds: the token tree of the lexer (strKey a token) and
// the expression tree (strKey an operator word or an encoded leaf item). Nodes belong to
// the CAnalyseExpression that built them, which releases them with Free and reuses their
// storage; a tree stays valid until the next Analyse or the object's destruction.
struct tagEXP_NODE {
  CString strKey;
  tagEXP_NODE* pLeft = nullptr;
  tagEXP_NODE* pRight = nullptr;
};

namespace qel::expr {
struct AnalyseState;
class TreeBuilder;
struct Seams;
}  // namespace qel::expr

class QELSHARE_API CAnalyseExpression {
 public:
  // Brackets ("(" and "[" alike) may nest this many levels; deeper nesting rejects.
  static constexpr int kMaxNesting = 1000;

  // No fields, empty results.
  CAnalyseExpression();
  // Frees any tree still held.
  virtual ~CAnalyseExpression();
  CAnalyseExpression(CAnalyseExpression const&) = delete;
  CAnalyseExpression& operator=(CAnalyseExpression const&) = delete;

  // Registers a field: the name users type after "/", the code the output carries, and
  // its type letter (see above). Does nothing when the name or the code is null or empty.
  // Registering a name twice adds a second entry; look-ups find the first.
  void AddField(char const* lpszName, char const* lpszCode, unsigned char cType);

  // Analyses one expression. Returns 1 when it produced a non-empty postfix stream, then
  // GetPoland and GetRedKey hold the results; 0 when the expression is rejected (unclosed
  // quote, no word, grammar or field error), then GetError says why and the results are
  // not to be used.
  int Analyse(char const* lpszExp);

  // The postfix stream of the last successful analysis.
  CString GetPoland();
  // The highlight string, with every "+" replaced by a space (the replacement is kept).
  CString GetRedKey();
  // Appends lpszKey to the highlight string, after one space when the string is not
  // empty. Null or empty: nothing. Call it after Analyse; Analyse starts the string anew.
  void AddRedKey(char const* lpszKey);

  // Why the last Analyse returned 0, in one short English sentence naming the token at
  // fault and its byte offset in the expression ("unclosed quote at byte 12", "unknown
  // field 'titel' at byte 20"); empty after a call that returned 1. Quoted tokens are the
  // expression's own bytes (GBK).
  CString GetError();

  CString m_strPoland;        // postfix stream of the last successful analysis
  CString m_strRedKey;        // highlight keywords
  CStringArr m_arrKeyStream;  // token stream of the last analysis (after the NOT rewrite)
  CByteArray m_arrFieldType;  // per registered field: its type letter
  CStringArr m_arrFieldCode;  // per registered field: its code
  CStringArr m_arrFieldName;  // per registered field: its name
  tagEXP_NODE* m_pRoot;       // tree under construction; null between calls

 private:
  // Releases the tree at pNode, always m_pRoot (every node of the object hangs there, so
  // its whole node store is released), and sets pNode to null.
  void Free(tagEXP_NODE*& pNode);
  // Cuts lpszText into its pieces in text order (quoted texts, delimiters and the words
  // between them), kept in the object's working state; pNode is set to null (no tree is
  // needed for that). 1 on success, 0 on an unclosed quote.
  int CreateKeyTree(tagEXP_NODE*& pNode, char const* lpszText);
  // Appends the tokens of the pieces CreateKeyTree cut to m_arrKeyStream: operator words
  // in capitals, the space dropped, "DEFAULT" between two adjacent operands. pNode is
  // unused.
  void MakeKeyStream(tagEXP_NODE* pNode);
  // 1 when lpszKey is an operator word, "DEFAULT", a bracket, ",", "-", "/", "#" or a
  // numbered reference ("#" and digits), exactly and with case; else 0.
  int IsReservedKey(char const* lpszKey);
  // Builds the expression tree of a token stream into pNode. 1 on success; 0 when the
  // expression is rejected, the nodes built so far left under pNode.
  int CreateExpTree(tagEXP_NODE*& pNode, CStringArr& arrToken);
  // Resolves the field list after a qualifier: -1 when it does not resolve, 0 when it
  // names several fields (arrField then holds their names with "," between), or k >= 1
  // when it names exactly field k - 1.
  int CheckField(CStringArr& arrField);
  // Works out which fields an operand without a qualifier goes to, when that needs no
  // field list resolved per operand (see the builder).
  void ResolveDefaultFields();
  // Appends the postfix items of the tree at pNode to m_strPoland.
  void MakePoland(tagEXP_NODE* pNode);
  // The analysis of an expression of plain words only (no quote, bracket, qualifier,
  // comma or reserved word), for the default field's text fields, with the results the
  // general steps give, written directly. False, with nothing changed, for any other
  // expression.
  bool AnalysePlainWords(char const* lpszExp);

  // Look-up tables of the registry, token offsets and the reason of the last rejection.
  std::unique_ptr<qel::expr::AnalyseState> m_pState;

  friend class qel::expr::TreeBuilder;
  friend struct qel::expr::Seams;
};

#endif  // QELSHARE_CANALYSEEXPRESSION_H_
