#pragma once
// The program's string table and command identifiers, in one place.

namespace vantorel {

inline constexpr const char* kStringTitle = "Vantorel";                            // string 1
inline constexpr const char* kStringNoPicture = "Web Camera Viewer Ver.0.0.0 R0.0";  // string 2
inline constexpr const char* kStringClassName = "VANTOREL";                        // string 3

// Commands of the main window (menu items, buttons, accelerators).
enum Command : int {
  kCmdClose = 1,           // Ctrl+Q
  kCmdAbout = 40003,       // Ctrl+A, "バージョン情報"
  kCmdListenStart = 40007,   // "マイク" / "開始": the camera's microphone, i.e. listening
  kCmdListenStop = 40009,    // "マイク" / "停止"
  kCmdCameraUrl = 40011,     // "カメラURL"
  kCmdDoorSettings = 40012,  // "ドア設定": the call button and the door opener (vantorel.ini)
  kCmdVisitors = 40013,      // "来訪者": the kept visitors' pictures
  kCmdPictureStart = 40016,  // "カメラ" / "開始"
  kCmdPictureStop = 40017,   // "カメラ" / "停止"
  kCmdExit = 40023,        // "終了"
  kCmdEndTalk = 40024,     // "通話終了": push-to-talk's end (vantorel.ini [talk] mode = hold)
  kCmdView = 60000,        // button "見る"
  kCmdListen = 60001,      // button "聞く"
};

// What the About and URL dialogs end with: the command of the button that closed them.
enum DialogResult : int {
  kDialogOk = 1,      // "OK"
  kDialogCancel = 2,  // "キャンセル"
};

}  // namespace vantorel
