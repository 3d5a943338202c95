// The loading window's fields without a drive: module, buffer, family, file
// and folder choice, the automatic file selection and the load's checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "console/main.h"
#include "files/file_io.h"
#include "firmware/family/family_table.h"
#include "firmware/loading/form2_loading.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

class Form2Fields : public ::testing::Test {
 protected:
  void SetUp() override {
    families.Parse(BuiltInFamilyTable());
    main.ComboBox3.items = families.Names();
    main.ComboBox3.index = 0;
    main.ComboBox2.items = {"9600", "38400"};
    main.firmwareFolder = dir.Path();
    form = std::make_unique<TForm2>(main, families);
  }

  std::string File(const std::string& name, size_t size) const {
    EXPECT_TRUE(WriteFileBytes(dir / name, std::string(size, 'x')));
    return dir / name;
  }
  // Picks a family by name as the list does, then applies the choice.
  void ChooseFamily(const std::string& name) {
    form->ComboBox7.SelectText(name);
    form->ComboBox7Text = name;
    form->ComboBox7Change();
  }

  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};
  FamilyTable families;
  test::TempDir dir;
  std::unique_ptr<TForm2> form;
};

TEST_F(Form2Fields, CreatedWithTheListsCopiedAndEverythingReset) {
  EXPECT_EQ(form->ComboBox2.items, main.ComboBox2.items);
  EXPECT_EQ(form->ComboBox2.Text(), "38400");
  EXPECT_EQ(form->ComboBox7.items.size(), 23u);
  EXPECT_EQ(form->ComboBox7.index, -1);
  EXPECT_EQ(form->ComboBox7Text, "");
  EXPECT_EQ(form->Edit7, dir.Path());
  EXPECT_EQ(form->ComboBox1, "60");
  EXPECT_EQ(form->ComboBox3, "2048");
  EXPECT_EQ(form->ComboBox4, "4096");
  EXPECT_EQ(form->Edit3, "18");
  for (bool box : {form->CheckBox1, form->CheckBox2, form->CheckBox3, form->CheckBox4, form->CheckBox5,
                   form->CheckBox6, form->CheckBox8, form->CheckBox9, form->CheckBox10})
    EXPECT_FALSE(box);

  // The rate list goes on following the main window's; a window that is gone no longer does.
  main.ComboBox1Change();  // no port to probe: the four basic rates
  EXPECT_EQ(form->ComboBox2.items.size(), 4u);
  EXPECT_EQ(form->ComboBox2.Text(), "115200");
  form.reset();
  main.ComboBox1Change();
}

TEST_F(Form2Fields, ModuleBoxesTickAndUntickTheirSaveBoxesAndEachOther) {
  struct Step {
    const char* what;
    std::function<void(TForm2&)> act;
    bool app, saveApp, ata0, saveAta, ata1;
  };
  const Step steps[] = {
      {"tick APP, save it", [](TForm2& f) { f.CheckBox1 = true; f.CheckBox1Click(); f.CheckBox10 = true; },
       true, true, false, false, false},
      {"untick APP", [](TForm2& f) { f.CheckBox1 = false; f.CheckBox1Click(); }, false, false, false, false, false},
      {"tick ATA1", [](TForm2& f) { f.CheckBox6 = true; f.CheckBox6Click(); }, false, false, true, false, true},
      {"save the overlays", [](TForm2& f) { f.CheckBox5 = true; }, false, false, true, true, true},
      {"untick ATA1", [](TForm2& f) { f.CheckBox6 = false; f.CheckBox6Click(); }, false, false, true, true, false},
      {"tick ATA1, untick ATA0", [](TForm2& f) { f.CheckBox6 = true; f.CheckBox6Click(); f.CheckBox4 = false; f.CheckBox4Click(); },
       false, false, false, false, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act(*form);
    EXPECT_EQ(form->CheckBox1, step.app);
    EXPECT_EQ(form->CheckBox10, step.saveApp);
    EXPECT_EQ(form->CheckBox4, step.ata0);
    EXPECT_EQ(form->CheckBox5, step.saveAta);
    EXPECT_EQ(form->CheckBox6, step.ata1);
  }
  for (auto [box, save, click] : {std::tuple{&TForm2::CheckBox2, &TForm2::CheckBox9, &TForm2::CheckBox2Click},
                                  std::tuple{&TForm2::CheckBox3, &TForm2::CheckBox8, &TForm2::CheckBox3Click}}) {
    (*form).*box = true;
    ((*form).*click)();
    (*form).*save = true;
    (*form).*box = false;
    ((*form).*click)();
    EXPECT_FALSE((*form).*save);
  }
}

TEST_F(Form2Fields, FamilySetsTheBufferAndTheBufferTheBlockSizes) {
  ChooseFamily("AVALANCHE");  // APP 15 0 180 80
  EXPECT_EQ(form->ComboBox1, "80");
  EXPECT_EQ(form->ComboBox3, "1024");
  EXPECT_EQ(form->ComboBox4, "2048");
  ChooseFamily("TONKA");  // APP 16 0 1A0 60
  EXPECT_EQ(form->ComboBox1, "60");
  EXPECT_EQ(form->ComboBox3, "2048");
  EXPECT_EQ(form->ComboBox4, "4096");

  // Typed text naming no family, or a family without a buffer value, leaves it alone.
  form->ComboBox1 = "80";
  form->ComboBox1Change();
  ChooseFamily("NO SUCH FAMILY");
  EXPECT_EQ(form->ComboBox1, "80");
  families.Parse("[PLAIN]\r\nAPP=16 0 238\r\n");
  ChooseFamily("TONKA");  // now names no record: position 9 is past the one-family table
  EXPECT_EQ(form->ComboBox1, "80");
  form->ComboBox7.index = 0;
  form->ComboBox7Text = "PLAIN";
  form->ComboBox7Change();
  EXPECT_EQ(form->ComboBox1, "80");

  // A typed buffer that is neither value keeps the block sizes.
  form->ComboBox1 = "7";
  form->ComboBox1Change();
  EXPECT_EQ(form->ComboBox3, "1024");
}

TEST_F(Form2Fields, ChosenFilesAreMeasured) {
  struct Case {
    void (TForm2::*button)();
    std::string TForm2::*field;
    size_t size;
    bool kept;
    const char* message;  // "" for none
    const char* sectors;  // Edit3 afterwards
  };
  const Case cases[] = {
      {&TForm2::Button51Click, &TForm2::Edit1, 1048576, true, "", "18"},
      {&TForm2::Button51Click, &TForm2::Edit1, 1048577, false, "模块文件长度不能大于1MB！", "18"},
      {&TForm2::Button1Click, &TForm2::Edit2, 1048577, false, "模块文件长度不能大于1MB！", "18"},
      {&TForm2::Button2Click, &TForm2::Edit6, 12288, true, "", "18"},
      {&TForm2::Button2Click, &TForm2::Edit6, 130048, true, "", "FE"},
      {&TForm2::Button2Click, &TForm2::Edit6, 1000, true, "", "1"},
      {&TForm2::Button2Click, &TForm2::Edit6, 130049, false, "模块文件长度不能大于127KB！", "1"},
      {&TForm2::Button3Click, &TForm2::Edit4, 130048, true, "", "1"},
      {&TForm2::Button3Click, &TForm2::Edit4, 130049, false, "模块文件长度不能大于127KB！", "1"},
      {&TForm2::Button4Click, &TForm2::Edit5, 130049, false, "模块文件长度不能大于127KB！", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size));
    (*form).*c.field = "before";
    dialogs.shown.clear();
    dialogs.paths = {File("module.bin", c.size)};
    ((*form).*c.button)();
    EXPECT_EQ((*form).*c.field, c.kept ? dir / "module.bin" : "");
    EXPECT_EQ(dialogs.shown.empty() ? "" : dialogs.shown.back().text, c.message);
    EXPECT_EQ(form->Edit3, c.sectors);
    ASSERT_FALSE(dialogs.choosers.empty());
    EXPECT_EQ(dialogs.choosers.back().filter, "BIN文件|*.bin|所有文件|*.*");
    EXPECT_EQ(dialogs.choosers.back().defaultExt, "*.bin");
  }
  // Cancelled: the field stays.
  form->Edit1 = "kept";
  form->Button51Click();
  EXPECT_EQ(form->Edit1, "kept");
}

TEST_F(Form2Fields, FolderFillsTheFieldsAndItsParentBecomesTheBase) {
  const std::string both = dir / "both/";
  const std::string single = dir / "single/";
  std::filesystem::create_directories(both);
  std::filesystem::create_directories(single);
  for (const char* name : {"APP.BIN", "CERT.BIN", "ATA0.BIN", "ATA1.BIN", "ATA.BIN"})
    File(std::string("both/") + name, 1024);
  File("both/Table.BIN", 0x16 * 512);
  File("single/ATA.BIN", 512);
  File("single/app.bin", 512);  // written on a system that doesn't keep the case

  dialogs.paths = {dir / "both"};
  form->Button7Click();
  EXPECT_EQ(dialogs.choosers.back().kind, "folder");
  EXPECT_EQ(dialogs.choosers.back().filter, "选择固件文件夹");
  EXPECT_EQ(form->Edit7, both);
  EXPECT_EQ(main.firmwareFolder, dir.Path());
  EXPECT_TRUE(form->CheckBox1 && form->CheckBox2 && form->CheckBox3);
  EXPECT_EQ(form->Edit1, both + "APP.BIN");
  EXPECT_EQ(form->Edit2, both + "CERT.BIN");
  EXPECT_EQ(form->Edit6, both + "Table.BIN");
  EXPECT_EQ(form->Edit3, "16");  // the drive is told this table's own sector count
  // Both overlays: filled in, left unticked, saving preset.
  EXPECT_EQ(form->Edit4, both + "ATA0.BIN");
  EXPECT_EQ(form->Edit5, both + "ATA1.BIN");
  EXPECT_FALSE(form->CheckBox4 || form->CheckBox6);
  EXPECT_TRUE(form->CheckBox5);

  form->Init1();
  main.firmwareFolder = "/elsewhere/";
  form->AutoSetFile(single);
  EXPECT_EQ(form->Edit4, single + "ATA.BIN");
  EXPECT_EQ(form->Edit5, "");
  EXPECT_FALSE(form->CheckBox4);
  EXPECT_TRUE(form->CheckBox5);
  EXPECT_EQ(form->Edit1, single + "app.bin");

  // A table the chooser would refuse is refused here too, count untouched.
  const std::string big = dir / "big/";
  std::filesystem::create_directories(big);
  File("big/Table.BIN", 130049);
  form->AutoSetFile(big);
  EXPECT_EQ(form->Edit6, "");
  EXPECT_EQ(form->Edit3, "16");
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "模块文件长度不能大于127KB！");

  // The root has no parent folder to become the base.
  dialogs.paths = {std::string("/")};
  form->Button7Click();
  EXPECT_EQ(form->Edit7, "/");
  EXPECT_EQ(main.firmwareFolder, "/elsewhere/");
}

TEST_F(Form2Fields, LoadChecksShowTheFirstFailingMessageAndSendNothing) {
  const std::string good = File("good.bin", 4096);
  std::filesystem::create_directories(dir / "folder.bin");
  struct Case {
    const char* message;
    std::function<void(TForm2&)> set;
  };
  const Case cases[] = {
      {"请指定要加载的模块！", [](TForm2&) {}},
      {"指定缓冲区！", [](TForm2& f) { f.CheckBox1 = true; f.ComboBox1 = " "; f.Edit1 = "x"; }},
      {"请指定APP模块文件！", [](TForm2& f) { f.CheckBox1 = true; f.Edit1 = "  "; }},
      {"指定的APP模块文件不存在！", [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = dir / "none.bin"; }},
      {"'1A' is not a valid integer value", [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = good; f.ComboBox3 = "1A"; }},
      {"块大小必须在1到65535之间！", [&](TForm2& f) { f.CheckBox2 = true; f.Edit2 = good; f.ComboBox4 = "0"; }},
      {"请指定CERT模块文件！", [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = good; f.CheckBox2 = true; }},
      {"指定的CERT模块文件不存在！", [&](TForm2& f) { f.CheckBox2 = true; f.Edit2 = dir / "none.bin"; }},
      {"请指定TABLE模块文件！", [](TForm2& f) { f.CheckBox3 = true; }},
      {"指定的TABLE模块文件不存在！", [&](TForm2& f) { f.CheckBox3 = true; f.Edit6 = dir / "none.bin"; }},
      {"请指定ATA0模块文件！", [](TForm2& f) { f.CheckBox4 = true; }},
      {"指定的ATA0模块文件不存在！", [&](TForm2& f) { f.CheckBox4 = true; f.Edit4 = dir / "folder.bin"; }},
      {"请指定ATA1模块文件！", [&](TForm2& f) { f.CheckBox4 = f.CheckBox6 = true; f.Edit4 = good; }},
      {"指定的ATA1模块文件不存在！", [&](TForm2& f) { f.CheckBox6 = true; f.Edit5 = dir / "none.bin"; }},
      // More blocks than one download carries would be cut off silently.
      {"APP模块文件超过255块（块大小1024字节），无法一次加载！",
       [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = File("big.bin", 256 * 1024); f.ComboBox3 = "1024"; }},
      // Part blocks are refused before anything is sent, saying which block
      // size would take the file; AVALANCHE's CERT (0x22F sectors) takes none.
      {"APP模块文件长度为3072字节，不是块大小2048字节的整数倍，无法加载：请把块大小改为1024！",
       [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = File("app.bin", 3072); }},
      {"CERT模块文件长度为286208字节，不是块大小4096字节的整数倍，无法加载：可选的块大小（2048、4096）都不能整除它，"
       "这个模块文件不能加载！",
       [&](TForm2& f) { f.CheckBox2 = true; f.Edit2 = File("cert.bin", 0x22F * 512); }},
      {"TABLE模块文件长度为1000字节，不是块大小512字节的整数倍，无法加载！",
       [&](TForm2& f) { f.CheckBox3 = true; f.Edit6 = File("table.bin", 1000); }},
      // The choosers' limits hold for files the folder choice filled in too.
      {"模块文件长度不能大于127KB！", [&](TForm2& f) { f.CheckBox4 = true; f.Edit4 = File("big.bin", 130049); }},
      {"请先打开串口！", [&](TForm2& f) { f.CheckBox1 = true; f.Edit1 = good; f.CheckBox6 = true; f.Edit5 = good; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    form->Init1();
    form->ComboBox1 = "60";
    form->ComboBox3 = "2048";
    form->ComboBox4 = "4096";
    c.set(*form);
    dialogs.shown.clear();
    form->Button6Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, c.message);
    EXPECT_TRUE(form->Panel1Enabled);
  }
  EXPECT_EQ(main.TxCount, 0);
}

}  // namespace
}  // namespace qv
