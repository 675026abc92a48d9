<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>HEditAllRuleTableWidget</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
</context>
<context>
    <name>HEditProductSaleStatus</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Brand Name:</source>
        <translation>品牌名称：</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新建</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Install Code:</source>
        <translation>安装代码：</translation>
    </message>
    <message>
        <source>New InstallCode</source>
        <translation>新建安装代码</translation>
    </message>
    <message>
        <source>Remove InstallCode</source>
        <translation>删除安装代码</translation>
    </message>
    <message>
        <source>Save to scheme</source>
        <translation>保存到方案</translation>
    </message>
    <message>
        <source>Export Schemes</source>
        <translation>导出方案</translation>
    </message>
    <message>
        <source>Save to Db</source>
        <translation>保存到数据库</translation>
    </message>
    <message>
        <source>Default IDU Type:</source>
        <translation>默认室内机类型：</translation>
    </message>
    <message>
        <source>Check All</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>unCheck All</source>
        <translation>全不选</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
</context>
<context>
    <name>HInputNameWidget</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>文本标签</translation>
    </message>
</context>
<context>
    <name>HOduAndIduMatchingWidget</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>按钮</translation>
    </message>
</context>
<context>
    <name>HRuleWidget</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
</context>
<context>
    <name>HSelectRuleNameWidget</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Empty</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
</context>
<context>
    <name>HSeriesAndAccessoryMatchingWidget</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>按钮</translation>
    </message>
</context>
<context>
    <name>HTableWidget</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>New Row</source>
        <translation>新建行</translation>
    </message>
    <message>
        <source>Delete Row</source>
        <translation>删除行</translation>
    </message>
    <message>
        <source>tableModel</source>
        <translation>数据表</translation>
    </message>
    <message>
        <source>%1</source>
        <translation>%1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>主窗口</translation>
    </message>
    <message>
        <source>Tab 1</source>
        <translation>标签页 1</translation>
    </message>
    <message>
        <source>Tab 2</source>
        <translation>标签页 2</translation>
    </message>
</context>
<context>
    <name>TranslateString</name>
    <message>
        <source>ODU And IDU Matching</source>
        <translation>室外机与室内机匹配</translation>
    </message>
    <message>
        <source>ODU/IDU And Accessory Matching</source>
        <translation>室外机/室内机与附件匹配</translation>
    </message>
    <message>
        <source>Select Rule</source>
        <translation>选择规则</translation>
    </message>
    <message>
        <source>All rule table</source>
        <translation>全部规则表</translation>
    </message>
    <message>
        <source>Set product sales status</source>
        <translation>设置产品销售状态</translation>
    </message>
    <message>
        <source>Outdoor Unit</source>
        <translation>室外机</translation>
    </message>
    <message>
        <source>Indoor Unit</source>
        <translation>室内机</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Infomation</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Please select ODU series.</source>
        <translation>请选择室外机系列。</translation>
    </message>
    <message>
        <source>It already exists.</source>
        <translation>已存在。</translation>
    </message>
    <message>
        <source>Branch</source>
        <translation>分歧管</translation>
    </message>
    <message>
        <source>Controller</source>
        <translation>控制器</translation>
    </message>
    <message>
        <source>HRV</source>
        <translation>全热交换器</translation>
    </message>
    <message>
        <source>Accessory</source>
        <translation>附件</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>工具(&amp;T)</translation>
    </message>
    <message>
        <source>Check product data...</source>
        <translation>检查产品数据...</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was not saved: %2</source>
        <translation>“%1”未保存：%2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; (nothing to save)</source>
        <translation>“%1”(无需保存)</translation>
    </message>
    <message>
        <source>No other tab was saved.</source>
        <translation>其他标签页均未保存。</translation>
    </message>
    <message>
        <source>Saved: %1.</source>
        <translation>已保存：%1。</translation>
    </message>
    <message>
        <source>The window stays open with every edit; press OK again to save what is left.</source>
        <translation>窗口保持打开，所有编辑均保留；再次点击“确定”保存其余内容。</translation>
    </message>
    <message>
        <source>The snapshot of &quot;%1&quot; was not written: %2</source>
        <translation>“%1”的快照未写入：%2</translation>
    </message>
    <message>
        <source>the scheme file could not be written</source>
        <translation>无法写入方案文件</translation>
    </message>
    <message>
        <source>The sale status scheme was not saved: %1
Closing now loses the changes made to it.</source>
        <translation>销售状态方案未保存：%1
现在关闭将丢失对它的修改。</translation>
    </message>
    <message>
        <source>Close anyway?</source>
        <translation>仍要关闭吗?</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>询问</translation>
    </message>
    <message>
        <source>This tab has changes that are not saved.</source>
        <translation>此标签页有未保存的修改。</translation>
    </message>
    <message>
        <source>Save them first?</source>
        <translation>先保存吗?</translation>
    </message>
    <message>
        <source>Unsaved changes</source>
        <translation>未保存的修改</translation>
    </message>
    <message>
        <source>Removes the selected indoor series from the current outdoor series</source>
        <translation>从当前室外机系列中移除所选室内机系列</translation>
    </message>
    <message>
        <source>Matches the selected indoor series to the current outdoor series</source>
        <translation>将所选室内机系列匹配到当前室外机系列</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>重做</translation>
    </message>
    <message>
        <source>Undoes the last edit in this tab</source>
        <translation>撤销本页的上一次编辑</translation>
    </message>
    <message>
        <source>Redoes the edit undone last</source>
        <translation>重做上一次撤销的编辑</translation>
    </message>
    <message>
        <source>%1 outdoor series, %2 pairs</source>
        <translation>%1 个室外机系列，%2 个匹配</translation>
    </message>
    <message>
        <source>Add indoor series</source>
        <translation>添加室内机系列</translation>
    </message>
    <message>
        <source>Remove indoor series</source>
        <translation>移除室内机系列</translation>
    </message>
    <message>
        <source>Adds the selected accessories to the selected series</source>
        <translation>将所选附件添加到所选系列</translation>
    </message>
    <message>
        <source>Removes the selected accessories from the selected series</source>
        <translation>从所选系列中移除所选附件</translation>
    </message>
    <message>
        <source>Add accessories</source>
        <translation>添加附件</translation>
    </message>
    <message>
        <source>Remove accessories</source>
        <translation>移除附件</translation>
    </message>
    <message>
        <source>the table name cannot be used in a statement</source>
        <translation>该表名无法用于语句中</translation>
    </message>
    <message>
        <source>Find (Ctrl+F)</source>
        <translation>查找 (Ctrl+F)</translation>
    </message>
    <message>
        <source>Shows only the rows that contain this text</source>
        <translation>只显示包含此文字的行</translation>
    </message>
    <message>
        <source>Check product data</source>
        <translation>检查产品数据</translation>
    </message>
    <message>
        <source>Remove...</source>
        <translation>删除...</translation>
    </message>
    <message>
        <source>The product data cannot be checked:</source>
        <translation>无法检查产品数据：</translation>
    </message>
    <message>
        <source>Every reference points at existing data.</source>
        <translation>所有引用都指向存在的数据。</translation>
    </message>
    <message>
        <source>%1 matching rows name a series or accessory that does not exist; %2 rule names of series are not in their rule table.</source>
        <translation>%1 条匹配记录引用了不存在的系列或附件；%2 个系列的规则名称不在其规则表中。</translation>
    </message>
    <message>
        <source>Delete %1 rows of the matching tables and clear %2 rule names of series? This cannot be undone.</source>
        <translation>删除匹配表中的 %1 条记录并清除 %2 个系列的规则名称吗?此操作无法撤销。</translation>
    </message>
    <message>
        <source>The text was not taken: it contains a control character (code %1) that a cell cannot hold. Type the text again without it.</source>
        <translation>文字未被接受：其中含有单元格不能保存的控制字符(代码 %1)。请去掉该字符后重新输入。</translation>
    </message>
    <message>
        <source>The product database may only be read here, so this tab is read-only: nothing is changed or saved here.</source>
        <translation>此处只能读取产品数据库，因此此标签页为只读：这里不会修改或保存任何内容。</translation>
    </message>
    <message>
        <source>Database password</source>
        <translation>数据库密码</translation>
    </message>
    <message>
        <source>Password for %1:</source>
        <translation>%1 的密码：</translation>
    </message>
    <message>
        <source>This tab could not read the product database and is read-only: nothing is changed or saved here.</source>
        <translation>此标签页无法读取产品数据库，现为只读：这里不会修改或保存任何内容。</translation>
    </message>
    <message>
        <source>--&gt;</source>
        <translation>--&gt;</translation>
    </message>
    <message>
        <source>&lt;--</source>
        <translation>&lt;--</translation>
    </message>
    <message>
        <source>Set product sale status</source>
        <translation>设置产品销售状态</translation>
    </message>
    <message>
        <source>The scheme shows the database values. The file is left as it is until you press &quot;Save to scheme&quot;, which first keeps it as a copy named &lt;file&gt;.unreadable.bak.</source>
        <translation>方案显示的是数据库中的值。在点击“保存到方案”之前，文件保持原样；保存时会先将其另存为名为 &lt;file&gt;.unreadable.bak 的副本。</translation>
    </message>
    <message>
        <source>The scheme name cannot be used as a file name.</source>
        <translation>该方案名称不能用作文件名。</translation>
    </message>
    <message>
        <source>The scheme name exists.</source>
        <translation>该方案名称已存在。</translation>
    </message>
    <message>
        <source>Nothing was saved to the database: </source>
        <translation>未向数据库保存任何内容：</translation>
    </message>
    <message>
        <source>Input Install Code</source>
        <translation>输入安装代码</translation>
    </message>
    <message>
        <source>Choose a folder other than the scheme folder.</source>
        <translation>请选择方案文件夹以外的文件夹。</translation>
    </message>
    <message>
        <source>These schemes were not exported:</source>
        <translation>以下方案未导出：</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Input Brand Name</source>
        <translation>输入品牌名称</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>保存文件</translation>
    </message>
    <message>
        <source>Excel (*.xls *.xlsx)</source>
        <translation>Excel 工作簿 (*.xls *.xlsx)</translation>
    </message>
    <message>
        <source>The template %1 cannot be the export target: it would be overwritten.</source>
        <translation>模板 %1 不能作为导出目标：它会被覆盖。</translation>
    </message>
    <message>
        <source>Export to %1 failed: %2</source>
        <translation>导出到 %1 失败：%2</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>Import from %1 failed: %2</source>
        <translation>从 %1 导入失败：%2</translation>
    </message>
    <message>
        <source>%1 product codes match no model: %2</source>
        <translation>%1 个产品代码没有匹配的型号：%2</translation>
    </message>
    <message>
        <source>%1 rows left out: their OEM model is a formula without a stored result (open and save the workbook in a spreadsheet program first)</source>
        <translation>%1 行被略过：其 OEM 型号是没有保存结果的公式(请先在电子表格程序中打开并保存该工作簿)</translation>
    </message>
    <message>
        <source>The sheet &quot;modellist&quot; of %1 holds no row with a product code: nothing was imported.</source>
        <translation>%1 的工作表“modellist”中没有带产品代码的行：未导入任何内容。</translation>
    </message>
    <message>
        <source>No row of %1 matches a model of the table: %2 rows read, nothing was imported.</source>
        <translation>%1 中没有与表中型号匹配的行：读取了 %2 行，未导入任何内容。</translation>
    </message>
    <message>
        <source>%1 rows read, %2 matched a model of the table.</source>
        <translation>读取了 %1 行，其中 %2 行与表中型号匹配。</translation>
    </message>
    <message>
        <source>Maintains the product database of the selection tool.</source>
        <translation>维护选型工具的产品数据库。</translation>
    </message>
    <message>
        <source>path</source>
        <translation>路径</translation>
    </message>
    <message>
        <source>The language of the window (zh_CN, en); else the system&apos;s.</source>
        <translation>窗口语言（zh_CN、en）；默认跟随系统。</translation>
    </message>
    <message>
        <source>language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Product databases (*.db *.sqlite *.mdb *.accdb);;All files (*)</source>
        <translation>产品数据库 (*.db *.sqlite *.mdb *.accdb);;所有文件 (*)</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open database...</source>
        <translation>打开数据库(&amp;O)...</translation>
    </message>
    <message>
        <source>Opens another product database; asks first about changes that are not saved</source>
        <translation>打开另一个产品数据库；有未保存的更改时先询问</translation>
    </message>
    <message>
        <source>&amp;Recent databases</source>
        <translation>最近的数据库(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Save all tabs</source>
        <translation>保存全部页(&amp;S)</translation>
    </message>
    <message>
        <source>Saves the changes of every tab; the window stays open</source>
        <translation>保存所有页的更改；窗口保持打开</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>Closes the window; asks first about changes that are not saved</source>
        <translation>关闭窗口；有未保存的更改时先询问</translation>
    </message>
    <message>
        <source>Lists rows that point at series, accessories or rules that do not exist, and removes them on request</source>
        <translation>列出指向不存在的系列、附件或规则的记录，并可按要求删除</translation>
    </message>
    <message>
        <source>Saves every tab and closes the window</source>
        <translation>保存所有页并关闭窗口</translation>
    </message>
    <message>
        <source>Closes the window without saving; asks first about changes that are not saved</source>
        <translation>不保存直接关闭窗口；有未保存的更改时先询问</translation>
    </message>
    <message>
        <source>Product Maintainer</source>
        <translation>产品数据库维护工具</translation>
    </message>
    <message>
        <source>No database open</source>
        <translation>未打开数据库</translation>
    </message>
    <message>
        <source>The product database the tabs show</source>
        <translation>各页显示的产品数据库</translation>
    </message>
    <message>
        <source>&quot;%1&quot; saved, %2 changed</source>
        <translation>已保存“%1”，更改 %2</translation>
    </message>
    <message>
        <source>%1, %2 changed</source>
        <translation>%1，更改 %2</translation>
    </message>
    <message>
        <source>Nothing to save</source>
        <translation>没有需要保存的内容</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>未保存：%1</translation>
    </message>
    <message>
        <source>; saved %1</source>
        <translation>；已保存 %1</translation>
    </message>
    <message>
        <source>These tabs have changes that are not saved: %1.</source>
        <translation>以下页有未保存的更改：%1。</translation>
    </message>
    <message>
        <source>Closing the window drops them.</source>
        <translation>关闭窗口将丢弃这些更改。</translation>
    </message>
    <message>
        <source>Opening another database drops them.</source>
        <translation>打开另一个数据库将丢弃这些更改。</translation>
    </message>
    <message>
        <source>Open database</source>
        <translation>打开数据库</translation>
    </message>
    <message>
        <source>Open another database...</source>
        <translation>打开另一个数据库...</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Opens %1</source>
        <translation>打开 %1</translation>
    </message>
    <message>
        <source>Please wait</source>
        <translation>请稍候</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The rule table to edit</source>
        <translation>要编辑的规则表</translation>
    </message>
    <message>
        <source>%1: %2 rows</source>
        <translation>%1：%2 行</translation>
    </message>
    <message>
        <source>Another table is about to be shown.</source>
        <translation>即将显示另一个表。</translation>
    </message>
    <message>
        <source>%1 outdoor series, %2 with a rule</source>
        <translation>%1 个室外机系列，其中 %2 个已设规则</translation>
    </message>
    <message>
        <source>Takes the chosen rule name; without a choice the current one stays</source>
        <translation>采用所选规则名；未选择时保留当前规则</translation>
    </message>
    <message>
        <source>Closes without changing the rule</source>
        <translation>关闭且不更改规则</translation>
    </message>
    <message>
        <source>Clears the rule: the series then names no rule</source>
        <translation>清除规则：该系列将不指定规则</translation>
    </message>
    <message>
        <source>Opens the rule table to add or change rules</source>
        <translation>打开规则表以添加或修改规则</translation>
    </message>
    <message>
        <source>Adds an empty row at the end; it is written on save</source>
        <translation>在末尾添加空行；保存时写入</translation>
    </message>
    <message>
        <source>Removes the chosen row; it is deleted from the database on save</source>
        <translation>删除所选行；保存时从数据库删除</translation>
    </message>
    <message>
        <source>Writes the changes of this table to the database</source>
        <translation>将此表的更改写入数据库</translation>
    </message>
    <message>
        <source>Writes the changes to the database and closes the window</source>
        <translation>将更改写入数据库并关闭窗口</translation>
    </message>
    <message>
        <source>Closes the window; changes not saved are dropped</source>
        <translation>关闭窗口；未保存的更改将被丢弃</translation>
    </message>
    <message>
        <source>The rule &quot;%1&quot; is used by %2 outdoor series; after the delete they name a rule that does not exist.
Delete it anyway?</source>
        <translation>规则“%1”被 %2 个室外机系列使用；删除后这些系列将指向不存在的规则。
仍要删除吗？</translation>
    </message>
    <message>
        <source>Row %1 is empty: fill it in or delete it. Nothing was saved.</source>
        <translation>第 %1 行为空：请填写或删除该行。未保存任何内容。</translation>
    </message>
    <message>
        <source>The rule name &quot;%1&quot; is used by more than one row; each rule needs a name of its own. Nothing was saved.</source>
        <translation>规则名“%1”被多行使用；每条规则须有自己的名称。未保存任何内容。</translation>
    </message>
    <message>
        <source>The product database to open (a file or a postgresql:// URL; else the one named by PRODUCT_DB, else Product.mdb in the working folder or beside the program).</source>
        <translation>要打开的产品数据库（文件或 postgresql:// 地址；否则使用 PRODUCT_DB 指定的数据库，再否则使用工作目录或程序旁的 Product.mdb）。</translation>
    </message>
    <message>
        <source>Default IDU type</source>
        <translation>默认室内机类型</translation>
    </message>
    <message>
        <source>%1 series shown, %2 models of the series shown, %3 unsaved edits</source>
        <translation>显示 %1 个系列、该系列 %2 个型号，%3 处未保存的修改</translation>
    </message>
    <message>
        <source>Tick</source>
        <translation>勾选</translation>
    </message>
    <message>
        <source>Another scheme is about to be shown.</source>
        <translation>即将显示另一个方案。</translation>
    </message>
    <message>
        <source>The new scheme is shown instead.</source>
        <translation>将改为显示新方案。</translation>
    </message>
    <message>
        <source>Do you want to delete the scheme?</source>
        <translation>确定要删除该方案吗？</translation>
    </message>
    <message>
        <source>Check all</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Uncheck all</source>
        <translation>全不选</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>New install code</source>
        <translation>新建安装代码</translation>
    </message>
    <message>
        <source>The install code is empty.</source>
        <translation>安装代码为空。</translation>
    </message>
    <message>
        <source>Do you want to remove the install code?</source>
        <translation>确定要删除该安装代码吗？</translation>
    </message>
    <message>
        <source>Remove install code</source>
        <translation>删除安装代码</translation>
    </message>
    <message>
        <source>Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Remove success</source>
        <translation>删除成功</translation>
    </message>
    <message>
        <source>Please select folder path to save</source>
        <translation>请选择保存的文件夹</translation>
    </message>
    <message>
        <source>Export success</source>
        <translation>导出成功</translation>
    </message>
    <message>
        <source>the workbook has no sheet &quot;%1&quot;</source>
        <translation>工作簿中没有工作表“%1”</translation>
    </message>
    <message>
        <source>the sheet &quot;%1&quot; is empty</source>
        <translation>工作表“%1”为空</translation>
    </message>
    <message>
        <source>the sheet &quot;%1&quot; has no column %2</source>
        <translation>工作表“%1”中没有列 %2</translation>
    </message>
    <message>
        <source>, </source>
        <translation>，</translation>
    </message>
    <message>
        <source>the template %1 cannot be opened: %2</source>
        <translation>无法打开模板 %1：%2</translation>
    </message>
    <message>
        <source>the template %1 does not exist</source>
        <translation>模板 %1 不存在</translation>
    </message>
    <message>
        <source>the template itself cannot be the target</source>
        <translation>模板本身不能作为目标</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>这是一个文件夹</translation>
    </message>
    <message>
        <source>the template %1 has no sheet &quot;%2&quot;</source>
        <translation>模板 %1 中没有工作表“%2”</translation>
    </message>
    <message>
        <source>the sheet &quot;%1&quot; of the template %2 has no column %3</source>
        <translation>模板 %2 的工作表“%1”中没有列 %3</translation>
    </message>
    <message>
        <source>Writing the workbook...</source>
        <translation>正在写入工作簿...</translation>
    </message>
    <message>
        <source>Reading the workbook...</source>
        <translation>正在读取工作簿...</translation>
    </message>
    <message>
        <source>Import success</source>
        <translation>导入成功</translation>
    </message>
    <message>
        <source>%1 holds %2 where %3 belongs</source>
        <translation>%1 中应为 %3 的位置存放的是 %2</translation>
    </message>
    <message>
        <source>Cannot move %1 aside to %2; %3 was not written</source>
        <translation>无法将 %1 移到 %2；%3 未写入</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>Cannot delete %1: %2</source>
        <translation>无法删除 %1：%2</translation>
    </message>
    <message>
        <source>model string</source>
        <translation>型号字符串</translation>
    </message>
    <message>
        <source>OEM Model</source>
        <translation>OEM 型号</translation>
    </message>
    <message>
        <source>Creates a scheme from the database values and shows it</source>
        <translation>用数据库中的值新建方案并显示</translation>
    </message>
    <message>
        <source>Deletes the scheme file shown</source>
        <translation>删除当前显示的方案文件</translation>
    </message>
    <message>
        <source>Adds an install code to the scheme</source>
        <translation>向方案添加安装代码</translation>
    </message>
    <message>
        <source>Removes the install code shown from the scheme</source>
        <translation>从方案中删除当前显示的安装代码</translation>
    </message>
    <message>
        <source>Writes the scheme with its edits to its file (Ctrl+Z undoes edits)</source>
        <translation>将方案及其修改写入方案文件（Ctrl+Z 可撤销修改）</translation>
    </message>
    <message>
        <source>Writes every scheme with digested install codes into a folder</source>
        <translation>将所有方案（安装代码经摘要处理）写入一个文件夹</translation>
    </message>
    <message>
        <source>Writes the sale flags and model strings to the product database</source>
        <translation>将销售标志和型号字符串写入产品数据库</translation>
    </message>
    <message>
        <source>Ticks &quot;not for sale&quot; on the series shown (with ids listed: on those, off the rest) and saves the scheme</source>
        <translation>为显示的系列勾选“不销售”（列出了编号时：只勾选这些，其余取消）并保存方案</translation>
    </message>
    <message>
        <source>Clears &quot;not for sale&quot; on the series shown (with ids listed: on those, ticks the rest) and saves the scheme</source>
        <translation>为显示的系列取消“不销售”（列出了编号时：只取消这些，其余勾选）并保存方案</translation>
    </message>
    <message>
        <source>Ticks &quot;not for sale&quot; on the models shown (with codes listed: on those, off the rest) and saves the scheme</source>
        <translation>为显示的型号勾选“不销售”（列出了代码时：只勾选这些，其余取消）并保存方案</translation>
    </message>
    <message>
        <source>Clears &quot;not for sale&quot; on the models shown (with codes listed: on those, ticks the rest) and saves the scheme</source>
        <translation>为显示的型号取消“不销售”（列出了代码时：只取消这些，其余勾选）并保存方案</translation>
    </message>
    <message>
        <source>Writes the models and their OEM names to an Excel workbook</source>
        <translation>将型号及其 OEM 名称写入 Excel 工作簿</translation>
    </message>
    <message>
        <source>Reads OEM names from an Excel workbook into the model table</source>
        <translation>从 Excel 工作簿读取 OEM 名称到型号表</translation>
    </message>
    <message>
        <source>%1 outdoor series, %2 accessories matched</source>
        <translation>%1 个室外机系列，已匹配 %2 个附件</translation>
    </message>
    <message>
        <source>%1 indoor series, %2 accessories matched</source>
        <translation>%1 个室内机系列，已匹配 %2 个附件</translation>
    </message>
    <message>
        <source>Select rule name from table [%1]</source>
        <translation>从表 [%1] 选择规则名</translation>
    </message>
    <message>
        <source>Edit table [%1]</source>
        <translation>编辑表 [%1]</translation>
    </message>
    <message>
        <source>Save To Database</source>
        <translation>保存到数据库</translation>
    </message>
    <message>
        <source>Shows every row again</source>
        <translation>重新显示所有行</translation>
    </message>
    <message>
        <source>Tab / table</source>
        <translation>标签页 / 表</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>系列</translation>
    </message>
    <message>
        <source>Row</source>
        <translation>行</translation>
    </message>
    <message>
        <source>Column</source>
        <translation>列</translation>
    </message>
    <message>
        <source>Old value</source>
        <translation>原值</translation>
    </message>
    <message>
        <source>New value</source>
        <translation>新值</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>User</source>
        <translation>用户</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>主机</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>表</translation>
    </message>
    <message>
        <source>All tables</source>
        <translation>所有表</translation>
    </message>
    <message>
        <source>All users</source>
        <translation>所有用户</translation>
    </message>
    <message>
        <source>History...</source>
        <translation>历史记录...</translation>
    </message>
    <message>
        <source>Lists what the saves changed, by whom and when</source>
        <translation>列出每次保存修改了什么、由谁修改、何时修改</translation>
    </message>
    <message>
        <source>Changes...</source>
        <translation>未保存的修改...</translation>
    </message>
    <message>
        <source>Lists the edits of every tab that are not saved yet</source>
        <translation>列出各标签页尚未保存的修改</translation>
    </message>
    <message>
        <source>History off: %1</source>
        <translation>历史记录已关闭：%1</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(无)</translation>
    </message>
    <message>
        <source>No unsaved changes</source>
        <translation>没有未保存的修改</translation>
    </message>
    <message>
        <source>1 value changed, not saved yet</source>
        <translation>1 个值已修改，尚未保存</translation>
    </message>
    <message>
        <source>%1 values changed, not saved yet</source>
        <translation>%1 个值已修改，尚未保存</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>……另有 %1 项</translation>
    </message>
    <message>
        <source>Since you loaded them, other users changed rows that this save would change. Nothing was saved.</source>
        <translation>自您加载以来，其他用户修改了本次保存将要修改的行。未保存任何内容。</translation>
    </message>
    <message>
        <source>Reload: show what is stored now, with your other edits kept.
Overwrite: save your edits over theirs.
Cancel: save nothing now.</source>
        <translation>重新加载：显示当前已存储的内容，并保留您的其他修改。
覆盖：用您的修改覆盖他们的修改。
取消：现在不保存任何内容。</translation>
    </message>
    <message>
        <source>Changed by another user</source>
        <translation>已被其他用户修改</translation>
    </message>
    <message>
        <source>Reload</source>
        <translation>重新加载</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>覆盖</translation>
    </message>
    <message>
        <source>Not saved: other users changed %1 rows meanwhile. They now show what is stored; your other edits are kept, unsaved.</source>
        <translation>未保存：在此期间其他用户修改了 %1 行。这些行现在显示已存储的内容；您的其他修改已保留，尚未保存。</translation>
    </message>
    <message>
        <source>Not saved: other users changed %1 rows meanwhile.</source>
        <translation>未保存：在此期间其他用户修改了 %1 行。</translation>
    </message>
    <message>
        <source>History</source>
        <translation>历史记录</translation>
    </message>
    <message>
        <source>part of the series name</source>
        <translation>系列名称的一部分</translation>
    </message>
    <message>
        <source>From</source>
        <translation>从</translation>
    </message>
    <message>
        <source>Unchecked: any date</source>
        <translation>不勾选：任意日期</translation>
    </message>
    <message>
        <source>To</source>
        <translation>至</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Reads the history again</source>
        <translation>重新读取历史记录</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>导出...</translation>
    </message>
    <message>
        <source>Writes the rows shown to an Excel workbook</source>
        <translation>将显示的行写入 Excel 工作簿</translation>
    </message>
    <message>
        <source>No history yet: it starts with the first save.</source>
        <translation>尚无历史记录：将从第一次保存开始记录。</translation>
    </message>
    <message>
        <source>The history cannot be read: %1</source>
        <translation>无法读取历史记录：%1</translation>
    </message>
    <message>
        <source>The newest %1 rows are shown; narrow the filters to see older ones.</source>
        <translation>显示最新的 %1 行；缩小筛选范围以查看更早的记录。</translation>
    </message>
    <message>
        <source>1 row</source>
        <translation>1 行</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>%1 行</translation>
    </message>
    <message>
        <source>Export history</source>
        <translation>导出历史记录</translation>
    </message>
    <message>
        <source>Excel workbooks (*.xlsx)</source>
        <translation>Excel 工作簿 (*.xlsx)</translation>
    </message>
    <message>
        <source>The history was not exported: %1</source>
        <translation>历史记录未导出：%1</translation>
    </message>
    <message>
        <source>%1 rows exported to %2</source>
        <translation>已将 %1 行导出到 %2</translation>
    </message>
    <message>
        <source>added by another user</source>
        <translation>已被其他用户添加</translation>
    </message>
    <message>
        <source>added by another user, %1 times</source>
        <translation>已被其他用户添加 %1 次</translation>
    </message>
    <message>
        <source>removed by another user</source>
        <translation>已被其他用户移除</translation>
    </message>
    <message>
        <source>now stored %1 times, was %2</source>
        <translation>现存储 %1 次，原为 %2 次</translation>
    </message>
    <message>
        <source>The outdoor series %1 (ID %2) is no longer in the product database; nothing was saved.</source>
        <translation>室外机系列 %1(ID %2)已不在产品数据库中；未保存任何内容。</translation>
    </message>
    <message>
        <source>changed by another user, not deleted (%1)</source>
        <translation>已被其他用户修改，未删除(%1)</translation>
    </message>
    <message>
        <source>changed by another user</source>
        <translation>已被其他用户修改</translation>
    </message>
    <message>
        <source>added by another user meanwhile (%1)</source>
        <translation>在此期间已被其他用户添加(%1)</translation>
    </message>
    <message>
        <source>now %1, was %2</source>
        <translation>现为 %1，原为 %2</translation>
    </message>
    <message>
        <source>%1 now %2, was %3</source>
        <translation>%1 现为 %2，原为 %3</translation>
    </message>
    <message>
        <source>not for sale</source>
        <translation>不销售</translation>
    </message>
    <message>
        <source>user skip</source>
        <translation>用户跳过</translation>
    </message>
    <message>
        <source>other users changed %1 rows meanwhile; nothing was saved</source>
        <translation>在此期间其他用户修改了 %1 行；未保存任何内容</translation>
    </message>
</context>
</TS>
