#!/bin/sh
# service_test.sh PREFIX DRIVER [INF]: zbkusd.sys as a kernel service of
# Wine's service manager. Starting it loads the image and runs DriverEntry,
# which must succeed; stopping it calls the unload routine and unmaps the
# image. The service is made with sc create, or with INF by the INF's install
# section, which must copy the driver and describe the service.
set -eu
export WINEPREFIX=$1 WINEDEBUG=-all
driver=$2
inf=${3:-}
target="$WINEPREFIX/drive_c/windows/system32/drivers/zbkusd.sys"
fail() { echo "$*" >&2; wine sc delete zbkusd >/dev/null 2>&1 || true; exit 1; }

# The image counts as loaded while a process of this prefix maps the file.
mapped() { grep -qsF "$target" /proc/[0-9]*/maps; }
# Waits up to ten seconds for the condition (mapped, or ! mapped).
await() {
  for _ in $(seq 100); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}
state() { wine sc query zbkusd | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
state_is() { [ "$(state)" = "$1" ]; }

rm -f "$target"
if [ -z "$inf" ]; then
  cp "$driver" "$target"
  wine sc create zbkusd type= kernel start= demand binPath= 'C:\windows\system32\drivers\zbkusd.sys' >/dev/null ||
    fail "sc create failed"
else
  # 128: the files are beside the INF; no restart.
  wine rundll32 setupapi.dll,InstallHinfSection Kestra_Install.NT 128 "Z:$inf" || fail "the INF did not install"
  cmp -s "$driver" "$target" || fail "the INF did not copy zbkusd.sys into the drivers folder"
  service=$(wine reg query 'HKLM\System\CurrentControlSet\Services\zbkusd' | tr -d '\r')
  for value in 'Type *REG_DWORD *0x1$' 'Start *REG_DWORD *0x3$' 'ErrorControl *REG_DWORD *0x1$' \
               'ImagePath *REG_SZ *C:\\windows\\system32\\drivers\\zbkusd.sys$'; do
    echo "$service" | grep -q "^ *$value" || fail "the INF's service lacks $value; it has:
$service"
  done
fi
wine sc start zbkusd >/dev/null || fail "sc start failed: DriverEntry did not succeed"
await state_is RUNNING || fail "after sc start the service is $(state), not RUNNING"
await mapped || fail "the service runs but zbkusd.sys is not loaded"
wine sc query zbkusd | grep -q 'WIN32_EXIT_CODE *: *0 ' || fail "the service reports an exit code"

wine sc stop zbkusd >/dev/null || fail "sc stop failed: the driver did not unload"
await state_is STOPPED || fail "after sc stop the service is $(state), not STOPPED"
await eval '! mapped' || fail "the service stopped but zbkusd.sys is still loaded"
wine sc delete zbkusd >/dev/null || fail "sc delete failed"
echo "zbkusd.sys loaded, started, stopped and unloaded"
