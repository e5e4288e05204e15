#pragma once
// The simulated balance on a pseudo-terminal: the program side opens the pty's
// slave like any serial device (through the COM<n> link), while a thread of
// ours serves the master. Like a real line, what the balance sends while no
// one has the port open is lost, not queued.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "balance_sim.h"
#include "link/clock.h"

namespace librato::sim {

class PtyBalance {
 public:
  PtyBalance(BalanceSimulator& balance, Clock& clock);
  ~PtyBalance();
  PtyBalance(const PtyBalance&) = delete;
  PtyBalance& operator=(const PtyBalance&) = delete;

  // Opens the pseudo-terminal (raw). False with a sentence in `error`.
  bool open(std::string& error);
  // The device path the program opens, e.g. /dev/pts/3.
  const std::string& devicePath() const { return devicePath_; }

  // Makes PortLinkDir()/COM<port> point to the pty (creates the folder;
  // replaces a link that is stale or points to another pseudo-terminal, but
  // never a link to a real device or anything that is not a link).
  bool linkAs(int port, std::string& error);
  const std::string& linkPath() const { return linkPath_; }
  // Removes the link if it still points to our pty.
  void unlink();

  // Starts serving the master.
  void start();
  // Closes the master: the program's side sees a hang-up, and the link then
  // points to a device that does not exist (an unplugged adapter). Waits
  // until done. False when it was already closed.
  bool disconnect();
  // Stops serving and closes the master (the link stays; see unlink()).
  void stop();

 private:
  void serve();
  void wake();
  void closeMaster();

  BalanceSimulator& balance_;
  Clock& clock_;
  int master_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::string devicePath_;
  std::string linkPath_;
  std::string linkTarget_;  // where our link points
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable done_;
  bool stopRequested_ = false;        // guarded by mutex_
  bool disconnectRequested_ = false;  // guarded by mutex_
  std::atomic<bool> masterOpen_{false};
};

}  // namespace librato::sim
