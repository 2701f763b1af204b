// A small host program that shows the library at work.
//
// 1. Two threads write messages of several importances into the default text
//    log; the file rotates after a few records and the old files are kept.
// 2. A little multi-threaded "service" runs requests as workflows with nested
//    steps and actors; its storage layer writes to a device with a log of its
//    own, and one request makes a cross call to a worker thread that carries
//    the workflow position along. A display mask switches the workflow columns
//    on.
// 3. The program writes its own configuration file, rewrites it while running
//    and the log shows the new settings taking effect.
//
// Everything goes to ./vantrel-demo-logs; at the end the program prints the
// files it made and their first lines, and the timeline of its traced scopes.
#include <Vantrel.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <dirent.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Vantrel::Context;
using Vantrel::Printf;

const std::string kLogDir = "vantrel-demo-logs";

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::trunc) << text;
}

std::vector<std::string> log_files() {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(kLogDir.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0) names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void show_logs(std::size_t lines_per_file) {
  for (const std::string& name : log_files()) {
    std::cout << "\n== " << kLogDir << '/' << name << '\n';
    std::ifstream in(kLogDir + '/' + name);
    std::string line;
    for (std::size_t n = 0; n < lines_per_file && std::getline(in, line); ++n)
      std::cout << "   " << line << '\n';
  }
}

// --- 1. Two threads, several importances, a rotation ----------------------

void two_threads_and_a_rotation() {
  Vantrel::Admin::config(
      "active = true; importance = s; size = 10; keep = true;"
      "display_mask = rank_mask;");
  auto worker = [](const char* who) {
    for (int i = 1; i <= 4; ++i) {
      Printf{Vantrel::S}("%s: polling queue, pass %d", who, i);
      if (i == 3) Printf{Vantrel::Warning}("%s: queue is %d%% full", who, 85);
    }
    VANTREL_LOG(Vantrel::XS) << who << ": below the threshold, never written";
  };
  std::thread a(worker, "reader");
  std::thread b(worker, "writer");
  a.join();
  b.join();
  Printf{Vantrel::Error}("disk %s is read-only", "/dev/sdb1");
}

// --- 2. A small service with workflows, actors, a device, a cross call ----

Device& storage_device() {
  static Device device("storage", "log", kLogDir, "");
  return device;
}

// The worker thread serves one call at a time, handed over with its workflow
// position.
struct Worker {
  std::mutex mutex;
  std::condition_variable ready;
  bool has_call = false, done = false;
  LowLevelAPI::Call call;
  SubFields user;

  void serve() {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [this] { return has_call; });
    LowLevelAPI::before_incoming_call(call, user, Vantrel::L, "incoming pricing call", Vantrel::M,
                                      "nested pricing call");
    {
      WorkflowScope step(Step(StepFields({"price"}, {"p1"})));
      Printf{Vantrel::M}("pricing %d items", 3);
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    LowLevelAPI::after_incoming_call(Vantrel::L, "pricing call served");
    done = true;
    ready.notify_all();
  }
};

void handle_order(int id, Worker* pricing) {
  WithContext context;
  WorkflowScope request(Root(StepFields({"order"}, {std::to_string(id)}), SubFields{"alice"}));
  ArchitectScope architect(SubFields{"shop"});
  Printf{Vantrel::M}("order %d received", id);
  {
    WorkflowScope check(Step(StepFields({"check"}, {"c" + std::to_string(id)})));
    DeveloperScope developer(SubFields{"bob"});
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * id));
    Printf{Vantrel::S}("stock checked for order %d", id);
  }
  {
    WorkflowScope store(Step(StepFields({"store"}, {"s" + std::to_string(id)}), &storage_device()));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Printf{Vantrel::M}("order %d written to the storage log", id);
  }
  if (pricing) {
    LowLevelAPI::before_outgoing_call(Vantrel::L, "calling pricing", Vantrel::M,
                                      "calling pricing again");
    Data* data = get_data();
    std::unique_lock<std::mutex> lock(pricing->mutex);
    pricing->call = LowLevelAPI::Call{data->major_tick, data->major_depth, data->root, data->caller,
                                      data->callee};
    pricing->user = data->user;
    pricing->has_call = true;
    pricing->ready.notify_all();
    pricing->ready.wait(lock, [pricing] { return pricing->done; });
    LowLevelAPI::after_outgoing_call(pricing->call, pricing->user, Vantrel::L, "pricing returned");
  }
}

void a_small_service() {
  const std::string settings =
      "active = true; importance = xs; size = 1000; keep = true;"
      "display_mask = rank_mask | tick_mask | depth_mask | workflow_mask | actors_mask;"
      "workflow_names_display_width = 8; workflow_ids_display_width = 3;"
      "actors_display_width = 6;";
  Vantrel::Admin::config(settings);
  {
    WithDevice bind(storage_device());
    Vantrel::Admin::config(settings);
  }
  Worker pricing;
  std::thread worker(&Worker::serve, &pricing);
  std::thread first(handle_order, 1, &pricing);
  std::thread second(handle_order, 2, nullptr);
  first.join();
  second.join();
  worker.join();
}

// --- 3. Live re-configuration through the configuration file ---------------

void live_reconfiguration() {
  const std::string ini = kLogDir + "/demo_trace.ini";
  write_file(ini, "active = true; importance = l; size = 1000; keep = true;\n");
  Vantrel::Admin::configfile(ini);
  Vantrel::Admin::period(200 * SimpleTime::Millisecond);
  Printf{Vantrel::L}("configuration file %s read: threshold is L", ini.c_str());
  Printf{Vantrel::M}("not written: M is below the threshold");

  write_file(ini, "active = true; importance = xs; size = 1000; keep = true;\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Printf{Vantrel::L}("period over: the file is read again before this message");
  Printf{Vantrel::XS}("written now: the new threshold is XS");
}

// --- 4. Where the time went ---------------------------------------------------

#ifdef VANTREL_TIMELINE_TOOL
// Runs the timeline tool over this process's own log files: a summary of the
// slowest scopes here, an HTML timeline and trace-event JSON beside the logs.
void show_timeline() {
  const std::string dir = Vantrel::Admin::logdir();
  const std::string pid = std::to_string(ZelTools::Portable::getpid());
  const std::string logs = "'" + dir + "'/*_" + pid + "_*_trace.*";
  const std::string stem = dir + "/vantrel_demo_" + pid + "_timeline";
  const std::string tool = VANTREL_TIMELINE_TOOL;
  std::cout << "\nWhere the time went (slowest scopes first):\n" << std::flush;
  std::system((tool + " --top 5 --merge-ids " + logs + " 2>/dev/null").c_str());
  const int status = std::system(
      (tool + " --html '" + stem + ".html' --json '" + stem + ".json' " + logs).c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) <= 1)  // 1: problems reported, files written
    std::cout << "Timeline of this run: " << stem << ".html (open it in a browser)\n"
              << "Trace-event JSON: " << stem << ".json (open it in Perfetto UI)\n";
}
#else
void show_timeline() {}
#endif

}  // namespace

int main() {
  const ZelTools::Portable::Process process;
  std::cout << "Vantrel demo: process '" << process.name() << "', pid " << process.id()
            << ", started at " << SimpleTime::clock().now() << " UTC\n";

  ::mkdir(kLogDir.c_str(), 0777);
  for (const std::string& name : log_files()) std::remove((kLogDir + '/' + name).c_str());
  Vantrel::Admin::logdir(kLogDir);

  two_threads_and_a_rotation();
  a_small_service();
  live_reconfiguration();

  std::cout << "Log files in " << kLogDir << "/ (first lines of each):";
  show_logs(40);
  show_timeline();
  return 0;
}
