#include <cstring>
#include <string>

#include "platform/LogFile.h"

namespace quillet {
namespace {

std::string Because(const char* what, int error) {
    return std::string(what) + "（" + std::strerror(error) + ", errno " + std::to_string(error) + "）";
}

std::string Owner(const char* what, uid_t owner) {
    return std::string(what) + "の所有者が他のユーザー（UID " + std::to_string(owner) + "）のため使用しません";
}

}  // namespace

std::string LogOpenFailureText(const LogOpenResult& result) {
    std::string reason;
    switch (result.failure) {
        case LogOpenFailure::None: return std::string();
        case LogOpenFailure::DirectoryNotMade: reason = Because("LOGフォルダを作成できません", result.error); break;
        case LogOpenFailure::DirectoryIsLink: reason = "LOGフォルダがシンボリックリンクのため使用しません"; break;
        case LogOpenFailure::DirectoryNotDirectory: reason = "LOGがフォルダではないため使用しません"; break;
        case LogOpenFailure::DirectoryNotOwned: reason = Owner("LOGフォルダ", result.owner); break;
        case LogOpenFailure::DirectoryUnusable: reason = Because("LOGフォルダを使用できません", result.error); break;
        case LogOpenFailure::FileIsLink: reason = "ログファイルがシンボリックリンクのため使用しません"; break;
        case LogOpenFailure::FileNotRegular: reason = "ログファイルが通常のファイルではないため使用しません"; break;
        case LogOpenFailure::FileNotOwned: reason = Owner("ログファイル", result.owner); break;
        case LogOpenFailure::FileLinked: reason = "ログファイルに別の名前（ハードリンク）があるため使用しません"; break;
        case LogOpenFailure::FileUnusable: reason = Because("ログファイルを使用できません", result.error); break;
        case LogOpenFailure::FileInUse:
            reason = "ログファイルは他のプログラムが使用中です（当プログラムを既に起動していませんか？）";
            break;
    }
    return reason + ": " + result.path;
}

std::string LogOpenFailureMessage(const LogOpenResult& result) {
    return std::string(kLogOpenFailedText) + "\n" + LogOpenFailureText(result);
}

}  // namespace quillet
