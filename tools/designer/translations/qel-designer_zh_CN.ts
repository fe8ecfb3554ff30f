<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
  <context>
    <name>qel-designer</name>
    <message>
      <source>%1 hits in %2 records: %3</source>
      <translation>%2 条记录中命中 %1 条: %3</translation>
    </message>
    <message>
      <source>%1 hits: %2</source>
      <translation>命中 %1 条: %2</translation>
    </message>
    <message>
      <source>%1 line(s) are read otherwise than written; a change to the control saves them as read:</source>
      <translation>%1 行的读法与所写不同; 修改该控件时按读出的内容保存:</translation>
    </message>
    <message>
      <source>%1 line(s) of %2 make no control; they are kept in the file as they are:</source>
      <translation>%2 中有 %1 行不构成控件; 它们原样保留在文件中:</translation>
    </message>
    <message>
      <source>%1 records in %2</source>
      <translation>%2 共 %1 条记录</translation>
    </message>
    <message>
      <source>%1: the path has characters without a GBK form; the library cannot open it.</source>
      <translation>%1: 路径中有无法用 GBK 表示的字符, 无法打开该库。</translation>
    </message>
    <message>
      <source>&amp;Close</source>
      <translation>关闭(&amp;C)</translation>
    </message>
    <message>
      <source>&amp;Copy</source>
      <translation>复制(&amp;C)</translation>
    </message>
    <message>
      <source>&amp;Delete control</source>
      <translation>删除控件(&amp;D)</translation>
    </message>
    <message>
      <source>&amp;Edit</source>
      <translation>编辑(&amp;E)</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <translation>文件(&amp;F)</translation>
    </message>
    <message>
      <source>&amp;New</source>
      <translation>新建(&amp;N)</translation>
    </message>
    <message>
      <source>&amp;Open library...</source>
      <translation>打开检索库(&amp;O)...</translation>
    </message>
    <message>
      <source>&amp;Open...</source>
      <translation>打开(&amp;O)...</translation>
    </message>
    <message>
      <source>&amp;Order view</source>
      <translation>顺序视图(&amp;O)</translation>
    </message>
    <message>
      <source>&amp;Paste</source>
      <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
      <source>&amp;Quit</source>
      <translation>退出(&amp;Q)</translation>
    </message>
    <message>
      <source>&amp;Redo</source>
      <translation>重做(&amp;R)</translation>
    </message>
    <message>
      <source>&amp;Save</source>
      <translation>保存(&amp;S)</translation>
    </message>
    <message>
      <source>&amp;Undo</source>
      <translation>撤销(&amp;U)</translation>
    </message>
    <message>
      <source>&amp;View</source>
      <translation>视图(&amp;V)</translation>
    </message>
    <message>
      <source>(new form)</source>
      <translation>(新表单)</translation>
    </message>
    <message>
      <source>(no control selected)</source>
      <translation>(未选中控件)</translation>
    </message>
    <message>
      <source>Align &amp;bottom edges</source>
      <translation>底边对齐(&amp;B)</translation>
    </message>
    <message>
      <source>Align &amp;left edges</source>
      <translation>左边对齐(&amp;L)</translation>
    </message>
    <message>
      <source>Align &amp;right edges</source>
      <translation>右边对齐(&amp;R)</translation>
    </message>
    <message>
      <source>Align &amp;top edges</source>
      <translation>顶边对齐(&amp;T)</translation>
    </message>
    <message>
      <source>All files (*)</source>
      <translation>所有文件 (*)</translation>
    </message>
    <message>
      <source>Apply</source>
      <translation>应用</translation>
    </message>
    <message>
      <source>Caption</source>
      <translation>标题</translation>
    </message>
    <message>
      <source>Click a control to select it</source>
      <translation>单击控件以选中它</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>关闭</translation>
    </message>
    <message>
      <source>Context</source>
      <translation>上下文</translation>
    </message>
    <message>
      <source>Control %1 is number %2</source>
      <translation>控件 %1 排在第 %2 位</translation>
    </message>
    <message>
      <source>Counting the records of %1: %2%</source>
      <translation>正在统计 %1 的记录数: %2%</translation>
    </message>
    <message>
      <source>D&amp;uplicate</source>
      <translation>创建副本(&amp;U)</translation>
    </message>
    <message>
      <source>Earlier expressions</source>
      <translation>历史表达式</translation>
    </message>
    <message>
      <source>Expression</source>
      <translation>表达式</translation>
    </message>
    <message>
      <source>F&amp;ormat</source>
      <translation>格式(&amp;O)</translation>
    </message>
    <message>
      <source>Forms (*.frm);;All files (*)</source>
      <translation>表单 (*.frm);;所有文件 (*)</translation>
    </message>
    <message>
      <source>Help</source>
      <translation>帮助</translation>
    </message>
    <message>
      <source>Hit %1 of %2</source>
      <translation>第 %1 条, 共 %2 条</translation>
    </message>
    <message>
      <source>Kind</source>
      <translation>类型</translation>
    </message>
    <message>
      <source>Libraries</source>
      <translation>检索库</translation>
    </message>
    <message>
      <source>Mark</source>
      <translation>标记</translation>
    </message>
    <message>
      <source>Next hit</source>
      <translation>下一个命中词</translation>
    </message>
    <message>
      <source>Next record</source>
      <translation>下一条记录</translation>
    </message>
    <message>
      <source>No.</source>
      <translation>记录号</translation>
    </message>
    <message>
      <source>Open a form</source>
      <translation>打开表单</translation>
    </message>
    <message>
      <source>Open libraries</source>
      <translation>打开检索库</translation>
    </message>
    <message>
      <source>Open library...</source>
      <translation>打开检索库...</translation>
    </message>
    <message>
      <source>Order set</source>
      <translation>顺序已设置</translation>
    </message>
    <message>
      <source>Order view: click the controls in the order they should have</source>
      <translation>顺序视图: 按应有的顺序依次单击控件</translation>
    </message>
    <message>
      <source>Other style words, separated by |</source>
      <translation>其他风格词, 以 | 分隔</translation>
    </message>
    <message>
      <source>Other words</source>
      <translation>其他风格词</translation>
    </message>
    <message>
      <source>Palette</source>
      <translation>控件面板</translation>
    </message>
    <message>
      <source>Previous hit</source>
      <translation>上一个命中词</translation>
    </message>
    <message>
      <source>Previous record</source>
      <translation>上一条记录</translation>
    </message>
    <message>
      <source>Properties</source>
      <translation>属性</translation>
    </message>
    <message>
      <source>Ready</source>
      <translation>就绪</translation>
    </message>
    <message>
      <source>Retrieval libraries (*.qel)</source>
      <translation>检索库 (*.qel)</translation>
    </message>
    <message>
      <source>Same &amp;height</source>
      <translation>相同高度(&amp;H)</translation>
    </message>
    <message>
      <source>Same &amp;size</source>
      <translation>相同大小(&amp;S)</translation>
    </message>
    <message>
      <source>Same &amp;width</source>
      <translation>相同宽度(&amp;W)</translation>
    </message>
    <message>
      <source>Save &amp;as...</source>
      <translation>另存为(&amp;A)...</translation>
    </message>
    <message>
      <source>Save the changes to the form?</source>
      <translation>是否保存对表单的修改?</translation>
    </message>
    <message>
      <source>Save the form as</source>
      <translation>表单另存为</translation>
    </message>
    <message>
      <source>Saved %1 controls to %2</source>
      <translation>已将 %1 个控件保存到 %2</translation>
    </message>
    <message>
      <source>Snap to &amp;grid</source>
      <translation>对齐网格(&amp;G)</translation>
    </message>
    <message>
      <source>Style</source>
      <translation>风格</translation>
    </message>
    <message>
      <source>The ticked libraries are searched together</source>
      <translation>勾选的检索库将一起检索</translation>
    </message>
    <message>
      <source>Tick at least one library to search.</source>
      <translation>请至少勾选一个检索库。</translation>
    </message>
    <message>
      <source>Title</source>
      <translation>题名</translation>
    </message>
    <message>
      <source>cannot read hit %1</source>
      <translation>无法读取第 %1 条命中记录</translation>
    </message>
    <message>
      <source>fill in at least one field box to build an expression</source>
      <translation>请至少填写一个字段框以生成表达式</translation>
    </message>
    <message>
      <source>line %1: %2
    read as %3</source>
      <translation>第 %1 行: %2
    读作 %3</translation>
    </message>
    <message>
      <source>line %1: %2: %3</source>
      <translation>第 %1 行: %2: %3</translation>
    </message>
    <message>
      <source>no expression searched yet</source>
      <translation>尚未检索过任何表达式</translation>
    </message>
    <message>
      <source>search form</source>
      <translation>检索表单</translation>
    </message>
    <message>
      <source>the character %1 (%2) at %3 has no GBK form; the library cannot search it</source>
      <translation>第 %3 个字符 %1 (%2) 无法用 GBK 表示, 无法检索</translation>
    </message>
    <message>
      <source>the expression is empty</source>
      <translation>表达式为空</translation>
    </message>
    <message>
      <source>the form has no expression box (mark _SYS_ED_EXP)</source>
      <translation>表单中没有表达式编辑框 (标记 _SYS_ED_EXP)</translation>
    </message>
  </context>
</TS>
