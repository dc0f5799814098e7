// Failures injected into every write and lock of the operations that change
// files, and processes killed part-way: afterwards the files open, the check
// finds no damage and no record but the one being written has changed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "store/check.h"
#include "store/journal.h"
#include "store/table.h"
#include "tests/store/store_util.h"
#include "tests/support/fault_fs.h"

namespace tarvok::test {
namespace {

using store::LastError;

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store::SetDurableJournals(true);
    MakeTable(Gbk("rz35.edb"), DiaryFields(), 209);
    MakeTable(Gbk("src.edb"), DiaryFields(), 1);
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(Gbk("rz35.edb")));
    for (int d = 0; d < 8; ++d)
      ASSERT_TRUE(s.AddRecord({DateTime(41000 + d), std::string(300 + 350 * d, char('a' + d))}));
    s.GoToRecord(2);
    s.DeleteRecord();  // frees nothing yet; pack material
    s.GoToRecord(5);
    s.WriteField(TextField(), std::string());  // a free list in the middle
    // Records 9 to 11 leave the free list holding, besides other blocks, the
    // block just below record 11's, which is the file's last.
    ASSERT_TRUE(s.AddRecord({DateTime(41008), std::string(600, 'i')}));
    ASSERT_TRUE(s.AddRecord({DateTime(41009), std::string(1800, 'j')}));
    ASSERT_TRUE(s.AddRecord({DateTime(41010), std::string(100, 'k')}));
    ASSERT_TRUE(s.GoToRecord(10) && s.WriteField(TextField(), std::string(20, 'j')));
    ASSERT_TRUE(s.GoToRecord(9) && s.WriteField(TextField(), std::string()));
    ASSERT_TRUE(s.OpenTable(Gbk("src.edb")));
    for (int d = 0; d < 3; ++d) ASSERT_TRUE(s.AddRecord({DateTime(42000 + d), std::string(700, 'x')}));
    s.CloseAllTables();
    for (const char* f : {"rz35.edb", "rz35.edt", "src.edb", "src.edt"}) baseline_[f] = ReadFileBytes(dir_.Path(f));
  }
  std::string Gbk(const char* name) { return dir_.GbkPath(name); }
  void Restore() {
    for (const auto& [f, bytes] : baseline_) WriteFileBytes(dir_.Path(f), bytes);
    std::filesystem::remove(dir_.Path("rz35.edb-undo"));
  }
  // Reopens the diary (under whichever password opens it), checks it and
  // returns its records.
  std::vector<std::string> Reopen(const std::vector<std::string>& passwords = {""}) {
    RecordStore s;
    bool opened = false;
    std::string opened_with;
    for (const auto& pw : passwords) {
      if (!opened && s.OpenTable(Gbk("rz35.edb"), {.password = pw})) {
        opened = true;
        opened_with = pw;
      }
    }
    EXPECT_TRUE(opened) << LastError();
    if (!opened) return {};
    // Blocks that a failed write took but never linked, and blocks past the
    // block count that a failed cut left behind, are unused space, not damage.
    std::vector<std::string> problems, unused;
    EXPECT_EQ(store::CheckCurrentTable(s, &problems, &unused), 0);
    EXPECT_EQ(problems, std::vector<std::string>{});
    std::vector<std::string> records = Snapshot(s);
    store::RecordTable* t = s.current();
    for (size_t k = 0; k < records.size(); ++k) {
      uint8_t id[4] = {};
      t->table.ReadExact(t->RecordOffset(int64_t(k)), id, 4, -1);
      records[k] = std::to_string(store::GetI32(id)) + records[k];
    }
    records.push_back("opened with password '" + opened_with + "'");
    return records;
  }

  struct Op {
    const char* name;
    std::function<bool(RecordStore&)> run;
    // Whether the records after the operation are acceptable, given those
    // before it and those after a run without faults.
    std::function<bool(const std::vector<std::string>& before, const std::vector<std::string>& done,
                       const std::vector<std::string>& now)>
        acceptable;
    std::vector<std::string> passwords = {""};
  };

  std::vector<Op> Ops() {
    auto same_or_done = [](const auto& before, const auto& done, const auto& now) {
      return now == before || now == done;
    };
    auto rewrite = [](int64_t record, std::function<std::string(std::string)> change) {
      return [record, change](RecordStore& s) {
        if (!s.GoToRecord(record)) return false;
        const std::string value = Text(s.ReadField(TextField()));
        return LastError() == 0 && s.WriteField(TextField(), change(value));
      };
    };
    return {
        {"AddRecord", [](RecordStore& s) { return s.AddRecord({DateTime(43000), std::string(1300, 'n')}); },
         same_or_done},
        {"memo grows", rewrite(3, [](std::string) { return std::string(2600, 'g'); }), same_or_done},
        {"memo shrinks", rewrite(8, [](std::string) { return std::string(20, 's'); }), same_or_done},
        {"memo edited in the middle",
         rewrite(7, [](std::string v) { return v.replace(1000, 3, "EDITED"); }), same_or_done},
        {"memo emptied", rewrite(4, [](std::string) { return std::string(); }), same_or_done},
        {"memo emptied, trimming the tail around other free blocks",
         rewrite(11, [](std::string) { return std::string(); }), same_or_done},
        {"ModifyRecord", [](RecordStore& s) {
           return s.GoToRecord(6) && s.ModifyRecord({DateTime(41105), std::string(1400, 'm')});
         }, same_or_done},
        {"DeleteRecord",
         [](RecordStore& s) {
           return s.DeleteRecord([&] { return std::get<DateTime>(s.ReadField(DateField())).value > 41004; });
         },
         // Records are marked one by one: each is as before or as after.
         [](const auto& before, const auto& done, const auto& now) {
           if (now.size() != before.size()) return false;
           for (size_t i = 0; i < now.size(); ++i)
             if (now[i] != before[i] && now[i] != done[i]) return false;
           return true;
         }},
        {"Pack", [](RecordStore& s) { return s.Pack(); }, same_or_done},
        {"SetPassword", [](RecordStore& s) { return s.SetPassword("pw"); }, same_or_done, {"", "pw"}},
        {"AppendFrom",
         [this](RecordStore& s) {
           return s.OpenTable(Gbk("src.edb")) && s.SelectTable("rz35") && s.AppendFrom("src");
         },
         same_or_done},
    };
  }

  TempDir dir_;
  std::map<std::string, std::string> baseline_;
};

TEST_F(FaultTest, EveryFailedWriteOrLockLeavesTheFilesSound) {
  struct Fault {
    FsOp kind;
    int error;
  } faults[] = {{FsOp::kWrite, ENOSPC}, {FsOp::kLock, EAGAIN}, {FsOp::kTruncate, EIO},
                {FsOp::kSync, EIO}, {FsOp::kRead, EIO}};
  for (const Op& op : Ops()) {
    Restore();
    const std::vector<std::string> before = Reopen();
    {
      RecordStore s;
      ASSERT_TRUE(s.OpenTable(Gbk("rz35.edb")));
      ASSERT_TRUE(op.run(s)) << op.name << " " << LastError();
    }
    const std::vector<std::string> done = Reopen(op.passwords);
    ASSERT_NE(before, done) << op.name;
    for (const Fault& fault : faults) {
      uint64_t k = 1;
      for (;; ++k) {
        Restore();
        bool ok;
        uint64_t injected;
        {
          FaultFileSystem fs;
          ScopedFileSystem use(&fs);
          RecordStore s;
          ASSERT_TRUE(s.OpenTable(Gbk("rz35.edb")));
          fs.FailNth(fault.kind, k, fault.error);
          ok = op.run(s);
          injected = fs.Injected();
        }
        SCOPED_TRACE(std::string(op.name) + ": call " + std::to_string(k) + " of kind " +
                     std::to_string(int(fault.kind)) + " fails");
        const std::vector<std::string> now = Reopen(op.passwords);
        EXPECT_TRUE(op.acceptable(before, done, now));
        if (ok) {
          EXPECT_EQ(now, done);
        }
        if (injected == 0) {
          EXPECT_TRUE(ok);
          break;
        }
        if (HasFailure()) return;
      }
    }
  }
}

// A file system that ends the process on the spot, as a kill would, when
// its n-th change (write, truncate, rename or removal) is about to happen.
class KillingFileSystem : public platform::FileSystem {
 public:
  explicit KillingFileSystem(uint64_t n) : n_(n) {}
  void Tick() {
    if (++changes_ == n_) _exit(0);
  }
  uint64_t changes() const { return changes_; }

  class KFile : public platform::File {
   public:
    KFile(KillingFileSystem* fs, std::unique_ptr<platform::File> f) : fs_(fs), f_(std::move(f)) {}
    int Read(uint64_t o, void* b, size_t n, size_t* got) override { return f_->Read(o, b, n, got); }
    int Write(uint64_t o, const void* b, size_t n) override {
      fs_->Tick();
      return f_->Write(o, b, n);
    }
    int Size(uint64_t* s) override { return f_->Size(s); }
    int Truncate(uint64_t s) override {
      fs_->Tick();
      return f_->Truncate(s);
    }
    int Sync() override { return f_->Sync(); }
    int Lock(uint64_t o, uint64_t l) override { return f_->Lock(o, l); }
    int Unlock(uint64_t o, uint64_t l) override { return f_->Unlock(o, l); }

   private:
    KillingFileSystem* fs_;
    std::unique_ptr<platform::File> f_;
  };

  int Open(const std::string& p, platform::Access a, platform::Sharing s, platform::Disposition d,
           std::unique_ptr<platform::File>* out) override {
    std::unique_ptr<platform::File> f;
    int rc = base_->Open(p, a, s, d, &f);
    if (rc == 0) *out = std::make_unique<KFile>(this, std::move(f));
    return rc;
  }
  int Remove(const std::string& p) override {
    Tick();
    return base_->Remove(p);
  }
  int Rename(const std::string& a, const std::string& b) override {
    Tick();
    return base_->Rename(a, b);
  }
  bool Exists(const std::string& p) override { return base_->Exists(p); }
  int SyncDirectory(const std::string& p) override { return base_->SyncDirectory(p); }
  std::vector<std::string> List(const std::string& d) override { return base_->List(d); }
  std::string FullPath(const std::string& p) override { return base_->FullPath(p); }
  uint64_t TickCount() override { return base_->TickCount(); }
  void SleepMs(unsigned ms) override { base_->SleepMs(ms); }

 private:
  platform::FileSystem* base_ = platform::PosixFileSystem();
  uint64_t n_;
  uint64_t changes_ = 0;
};

TEST_F(FaultTest, AProcessKilledAtAnyWriteLeavesOldOrNew) {
  for (const Op& op : Ops()) {
    if (std::string(op.name) == "DeleteRecord") continue;  // marks records one by one
    Restore();
    const std::vector<std::string> before = Reopen();
    {
      RecordStore s;
      ASSERT_TRUE(s.OpenTable(Gbk("rz35.edb")));
      ASSERT_TRUE(op.run(s));
    }
    const std::vector<std::string> done = Reopen(op.passwords);
    for (uint64_t k = 1; k < 5000; ++k) {
      Restore();
      int pipefd[2];
      ASSERT_EQ(pipe(pipefd), 0);
      pid_t pid = fork();
      if (pid == 0) {
        close(pipefd[0]);
        KillingFileSystem fs(k);
        ScopedFileSystem use(&fs);
        RecordStore s;
        if (!s.OpenTable(Gbk("rz35.edb"))) _exit(3);
        bool ok = op.run(s);
        // Still alive: the operation made fewer than k changes.
        char reached = 'n';
        if (write(pipefd[1], &reached, 1) != 1) _exit(4);
        _exit(ok ? 0 : 5);
      }
      close(pipefd[1]);
      char reached = 'y';  // no byte from the child: it was killed
      read(pipefd[0], &reached, 1);
      close(pipefd[0]);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      SCOPED_TRACE(std::string(op.name) + ": killed at write " + std::to_string(k));
      const std::vector<std::string> now = Reopen(op.passwords);
      EXPECT_TRUE(now == before || now == done);
      if (reached == 'n' || HasFailure()) {
        RecordProperty(std::string("kill_points_") + op.name, std::to_string(k));
        break;
      }
    }
  }
}

}  // namespace
}  // namespace tarvok::test

namespace tarvok::test {
namespace {

// A child changes the password of a table of a few MB back and forth and is
// killed with SIGKILL at random moments; after each kill the table opens
// under one of the passwords with every record as it was.
TEST(RandomKills, PasswordChangesSurviveSigkillAnywhere) {
  store::SetDurableJournals(false);  // a kill needs no sync; keeps the loop quick
  TempDir dir;
  const std::string path = dir.GbkPath("rz35.edb");
  MakeTable(path, DiaryFields());
  std::vector<std::string> expected;
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path));
    for (int d = 0; d < 3000; ++d)
      ASSERT_TRUE(s.AddRecord({DateTime(41000 + d), std::string(900 + d % 300, char('a' + d % 26))}));
    expected = Snapshot(s);
  }
  const std::vector<std::string> passwords = {"", "one", "二"_gbk};
  auto open_any = [&](RecordStore& s) -> int {
    for (size_t i = 0; i < passwords.size(); ++i)
      if (s.OpenTable(path, {.password = passwords[i]})) return int(i);
    return -1;
  };
  std::srand(20261210);
  int kills = 0;
  for (int round = 0; round < 40; ++round) {
    pid_t pid = fork();
    if (pid == 0) {
      RecordStore s;
      int current = open_any(s);
      if (current < 0) _exit(3);
      for (;;) {
        current = (current + 1) % int(passwords.size());
        if (!s.SetPassword(passwords[size_t(current)])) _exit(4);
      }
    }
    usleep(useconds_t(std::rand() % 150000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
    ++kills;
    RecordStore s;
    ASSERT_GE(open_any(s), 0) << "round " << round << ": " << LastError();
    std::vector<std::string> problems, unused;
    ASSERT_EQ(store::CheckCurrentTable(s, &problems, &unused), 0);
    EXPECT_EQ(problems, std::vector<std::string>{}) << "round " << round;
    ASSERT_EQ(Snapshot(s), expected) << "round " << round;
  }
  RecordProperty("sigkills", std::to_string(kills));
  store::SetDurableJournals(true);
}

}  // namespace
}  // namespace tarvok::test
