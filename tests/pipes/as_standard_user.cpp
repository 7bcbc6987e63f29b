// Runs a program as a standard user of the simulated host: started as root, it becomes the user
// "nobody" (no supplementary groups, then its group and user) and executes the program.
//   as_standard_user <program> [arguments...]
// Exit status 2: usage; 3: no user "nobody"; 4: the user could not be taken on; 5: no such program.
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const passwd* user = ::getpwnam("nobody");
  if (user == nullptr) return 3;
  const uid_t uid = user->pw_uid;
  const gid_t gid = user->pw_gid;
  if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0 ||
      ::geteuid() == 0) {
    return 4;
  }
  ::execv(argv[1], argv + 1);
  std::perror(argv[1]);
  return 5;
}
