#include <algorithm>
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

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string LogMovedAsideNotice(const LogOpenResult& result) {
    const std::string name = FileNameOf(result.path);
    return "LOGファイル " + name + " は他のユーザーも読み書きできる状態でした。開いたままのプログラムが記録を読み、"
           "行を書き足すおそれがあるため、" + result.movedAsideName + " に移して新しいLOGファイルを作成しました。";
}

std::string LogMovedAsideLine(const LogOpenResult& result) {
    return "前のLOGファイルは他のユーザーも読み書きできる状態だったため " + result.movedAsideName + " に移しました";
}

std::uint64_t LogReserveBytes(std::uint64_t fileSystemBytes) {
    constexpr std::uint64_t kMost = std::uint64_t{4} << 30;
    return std::min(fileSystemBytes / 100 * 15, kMost);
}

}  // namespace quillet
