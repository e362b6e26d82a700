; The installer's own messages, in Simplified Chinese like the pages MUI2 brings.
LangString VantuIsRunning ${LANG_SIMPCHINESE} "KorvelVantu 正在运行。$\r$\n$\r$\n请先关闭 KorvelVantu 的窗口和命令行工具 vantu-cli，然后点击“重试”。点击“取消”将不做任何更改并退出。"
LangString VantuNotChanged ${LANG_SIMPCHINESE} "KorvelVantu 正在运行，未做任何更改。"
LangString VantuKeepSettings ${LANG_SIMPCHINESE} "是否保留 KorvelVantu 的设置（窗口位置和网页保存的数据）？$\r$\n$\r$\n点击“否”将同时删除这些设置。"
