<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Document</name>
    <message>
        <source>無題</source>
        <translation>Untitled</translation>
    </message>
</context>
</TS>
