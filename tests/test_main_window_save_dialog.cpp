// The save dialog object: filter conversion, the chosen path kept as the next name, cancelling.
#include "SaveDialog.h"

#include "DialogAnswerer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

fs::path Scratch() {
    const fs::path dir = fs::temp_directory_path() / L"tablorin-savedialog";
    fs::create_directories(dir);
    return dir;
}

TSaveDialog MakeDialog() {
    TSaveDialog d;
    d.Title = L"画像を添付するワードファイルの名前";
    d.Filter = L"Word 文書（*.docx）|*.docx";
    d.DefaultExt = L"doc";
    d.InitialDir = Scratch().wstring();
    return d;
}

} // namespace

TEST(SaveDialogFilter, BarsBecomeNulsWithADoubleNulEnd) {
    const std::wstring one = TSaveDialog::FilterForSystem(L"Word 文書（*.doc）|*.doc");
    EXPECT_EQ(one, std::wstring(L"Word 文書（*.doc）\0*.doc\0\0", 22));
    const std::wstring two = TSaveDialog::FilterForSystem(L"a|*.a|b|*.b");
    EXPECT_EQ(two, std::wstring(L"a\0*.a\0b\0*.b\0\0", 13));
}

TEST(SaveDialog, ChosenPathIsKeptAndOfferedNextTime) {
    TSaveDialog d = MakeDialog();
    const fs::path sub = Scratch() / L"下位";
    fs::create_directories(sub);
    const std::wstring target = (sub / L"出力 ①.docx").wstring();
    fs::remove(target);
    {
        DialogAnswerer answer(d.Title, DialogAction::TypeFileName(target));
        ASSERT_TRUE(d.Execute(nullptr));
        answer.Join();
        ASSERT_EQ(answer.Answered(), 1u);
        EXPECT_EQ(answer.SeenAt(0).fileNameField, L"");
    }
    EXPECT_EQ(d.FileName, target);
    {
        // Cancelling keeps the name.
        DialogAnswerer answer(d.Title, DialogAction::Esc());
        EXPECT_FALSE(d.Execute(nullptr));
        answer.Join();
        ASSERT_EQ(answer.Answered(), 1u);
        EXPECT_EQ(answer.SeenAt(0).fileNameField, L"出力 ①.docx");
    }
    EXPECT_EQ(d.FileName, target);
    {
        // The next run starts in the folder of the last choice, not the initial folder.
        DialogAnswerer answer(d.Title, DialogAction::TypeFileName(L"二回目.docx"));
        ASSERT_TRUE(d.Execute(nullptr));
        answer.Join();
    }
    EXPECT_EQ(d.FileName, (sub / L"二回目.docx").wstring());
}

TEST(SaveDialog, AsksBeforeOverwritingAnExistingFile) {
    TSaveDialog d = MakeDialog();
    const std::wstring target = (Scratch() / L"既存.docx").wstring();
    std::ofstream(fs::path(target)) << "x";
    // The overwrite question has the dialog's title too and comes up in front of it.
    // (The watcher waits for the save dialog to go away first: keep that wait short.)
    DialogAnswerer answer(
        {{d.Title, DialogAction::TypeFileName(target)}, {d.Title, DialogAction::Press(L"Yes")}},
        3000);
    ASSERT_TRUE(d.Execute(nullptr));
    answer.Join();
    ASSERT_EQ(answer.Answered(), 2u);
    EXPECT_EQ(answer.SeenAt(1).buttons.size(), 2u) << answer.SeenAt(1).text;
    EXPECT_EQ(d.FileName, target);
}
