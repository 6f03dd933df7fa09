#pragma once
// What the removal shows the user, every box under one caption.

#define QUOREL_UNINSTALL_CAPTION "卸载 Zelmora"
#define QUOREL_UNINSTALL_QUESTION "要删除 Zelmora 及其快捷方式吗？"
#define QUOREL_UNINSTALL_RUNNING "Zelmora 正在运行，请关闭后再卸载。未删除任何内容。"
#define QUOREL_UNINSTALL_NOT_YOURS "Zelmora 由其他用户安装，您无权删除。未删除任何内容。"
#define QUOREL_UNINSTALL_DONE "Zelmora 已删除。"
// Each item that stays follows on a line of its own, with the platform's reason.
#define QUOREL_UNINSTALL_PARTIAL "Zelmora 已删除，但以下项目未能删除："
