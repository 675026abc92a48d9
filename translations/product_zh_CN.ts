<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>TranslateString</name>
    <message><source>Product</source><translation>产品数据库维护</translation></message>
    <message><source>ODU And IDU Matching</source><translation>室外机与室内机匹配</translation></message>
    <message><source>ODU/IDU And Accessory Matching</source><translation>室外机/室内机与附件匹配</translation></message>
    <message><source>Select Rule</source><translation>选择规则</translation></message>
    <message><source>All rule table</source><translation>全部规则表</translation></message>
    <message><source>Set product sales status</source><translation>设置产品销售状态</translation></message>
    <message><source>Outdoor Unit</source><translation>室外机</translation></message>
    <message><source>Indoor Unit</source><translation>室内机</translation></message>
    <message><source>Warning</source><translation>警告</translation></message>
    <message><source>Infomation</source><translation>信息</translation></message>
    <message><source>Please select ODU series.</source><translation>请选择室外机系列。</translation></message>
    <message><source>It already exists.</source><translation>已存在。</translation></message>
</context>
</TS>
