<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
  <context>
    <name>qel-designer</name>
    <message>
      <source>%1 hits: %2</source>
      <translation type="unfinished" />
    </message>
  </context>
</TS>
