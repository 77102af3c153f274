#!/usr/bin/env bash
# Fails when an object of a logic library calls the operating system directly (sockets,
# serial lines, files, processes, clocks): those calls belong behind platform/.
#   check_platform_boundary.sh LIB.a [LIB.a ...]
set -euo pipefail
forbidden='^(socket|connect|accept|accept4|bind|listen|send|sendto|recv|recvfrom|poll|select|epoll_wait|open|open64|openat|creat|read|write|close|lseek|fstat|stat|rename|renameat2|unlink|mkdir|ioctl|tcgetattr|tcsetattr|cfsetispeed|cfsetospeed|tcflush|fork|execve|execv|system|popen|clock_gettime|clock_settime|gettimeofday|time|localtime_r|mktime|fopen|fopen64|freopen|getaddrinfo|getifaddrs)(@.*)?$'
status=0
for lib in "$@"; do
  hits=$(nm -u --format=posix "$lib" 2>/dev/null | awk '{print $1}' | grep -E "$forbidden" | sort -u || true)
  if [ -n "$hits" ]; then
    echo "$(basename "$lib") calls the operating system directly:"
    printf '  %s\n' $hits
    status=1
  fi
done
[ $status -eq 0 ] && echo "platform boundary kept by $# libraries"
exit $status
