#include "app/status_text.h"

namespace vantorel {

QString StatusText(FailureReason reason) {
  switch (reason) {
    case FailureReason::kNone:
    case FailureReason::kStopped:
      return {};
    case FailureReason::kCannotConnect:
      return QStringLiteral("接続できません");
    case FailureReason::kNoAnswer:
    case FailureReason::kConnectionLost:
    case FailureReason::kTooSlow:
      return QStringLiteral("応答がありません");
    case FailureReason::kSignInRefused:
      return QStringLiteral("認証に失敗しました（カメラURLのユーザー名とパスワードを確認してください）");
    case FailureReason::kUnsafeSignIn:
      return QStringLiteral("保護されないサインインを拒否しました");
    case FailureReason::kNotFound:
      return QStringLiteral("見つかりません");
    case FailureReason::kCameraBusy:
      return QStringLiteral("カメラが使用中です");
    case FailureReason::kNotAPicture:
      return QStringLiteral("画像を受け取れません");
    case FailureReason::kNotSound:
      return QStringLiteral("音声を受け取れません");
    case FailureReason::kTalkRefused:
      return QStringLiteral("通話を受け付けません");
    case FailureReason::kNoCallButton:
      return QStringLiteral("呼び出しボタンを監視できません");
    case FailureReason::kOpenerRefused:
      return QStringLiteral("開錠できませんでした");
    case FailureReason::kNoAudioDevice:
      return QStringLiteral("音声装置がありません");
    case FailureReason::kTooMuchData:
      return QStringLiteral("カメラのデータが多すぎます");
    case FailureReason::kErrorStatus:
      return QStringLiteral("カメラがエラーを返しました");
    case FailureReason::kLocalFailure:
      return QStringLiteral("この端末の資源が不足しています");
  }
  return QStringLiteral("エラー");
}

}  // namespace vantorel
