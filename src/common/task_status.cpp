#include "common/task_status.h"

#include <iterator>

const char* taskStatusText(int code) {
    static const char* const kTexts[] = {
        " ",
        "程序暂时很忙，请稍候再试！",
        "出现未知错误，建议重启程序！",
        "尚未连接Trevvo，请将您的Trevvo连接到电脑！",
        "下载路书失败，网络异常！",
        "上传路书失败，网络异常！",
        nullptr,
        "下载路书失败，此路书已超过20M！",
        "上传路书失败，此路书已超过20M！",
        "数据传输错误。",
        "路书文件解压失败。",
        nullptr,
        "路书读取失败。",
        "这个备份不能恢复，导航仪上的文件都没有改动。",
        "备份已保存，但导航仪上有些文件无法恢复，没有放进备份。",
    };
    if (code < 0 || code >= static_cast<int>(std::size(kTexts))) return nullptr;
    return kTexts[code];
}
