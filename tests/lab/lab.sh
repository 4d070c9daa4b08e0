#!/usr/bin/env bash
# A private network with the printer queues real Linux desktops set up, for the lab tests.
#
#   lab.sh up DIR [--owner PID]   bring the lab up in DIR (a fresh, short folder); prints
#                                 "ready" once every queue exists. With --owner the lab is
#                                 taken down when process PID ends.
#   lab.sh down DIR               tear it down (no lab in DIR is not an error)
#   lab.sh cli DIR CMD...         run CMD on the desktop (namespace "cli": cupsd, avahi)
#   lab.sh prn DIR CMD...         run CMD on the printers' network (namespace "prn")
#   lab.sh stop-dnssd DIR         stop the desktop's avahi-daemon (the D-Bus bus stays)
#   lab.sh hang-dnssd DIR         freeze it (SIGSTOP): it keeps its bus name and never answers
#   lab.sh wake-dnssd DIR         let it go on (SIGCONT)
#   lab.sh check                  exit 0 when the lab can run here; 3 when this machine cannot
#                                 make its namespaces, 1 when a program it needs is missing
#
# Needs root (network, mount, UTS and PID namespaces) and PRADEX_EMULATOR, the path of
# pradex-device-emulator, which serves the device pages. Nothing of the lab touches the
# machine's own network: two namespaces of their own joined by one veth pair, addresses
# from 198.51.100.0/24 only, and in each a private /run with its own D-Bus system bus and
# avahi-daemon. Every name and path lives below DIR or inside the namespaces, so labs in
# different folders run side by side.
#
#   prn (printers' network, host name labprn-c)
#     198.51.100.21  labprn-a.local  announced "Tamrin GlowMark 5000"  _ipp._tcp  page 200
#     198.51.100.22  labprn-b.local  announced "Tamrin BrimLine 410"   _ipp._tcp  page 200
#     198.51.100.23  labprn-c.local  ippeveprinter "Tamrin GlowMark 7200" (IPP on 8631),
#                                    page 200; cups-browsed makes its queue
#     198.51.100.24                  a Tamrin whose page answers 404
#     198.51.100.25                  the printer behind the print server, page 200
#     198.51.100.26                  a printer set up by hand (socket), page 200
#     198.51.100.27  labprn-f.local  announced "Tamrin BrimLine 520"   _ipp._tcp  page 200,
#                                    no queue anywhere (the print dialog offers it)
#     198.51.100.30  labsrv          a CUPS print server (port 631) with two queues:
#                                    "office" -> socket://198.51.100.25:9100,
#                                    "usbdesk" -> a USB printer of the server
#   cli (the desktop, 198.51.100.1): cupsd on its local socket, the ipp-usb stand-in
#     127.0.0.1:60000 (page 200), cups-browsed when LAB_BROWSED is not 0.
#
# Queues of the desktop's cupsd (name: device URI, make and model):
#   dnssd_glowmark:     dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/?uuid=...
#   driverless_brimline: ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/
#   gone_glowmark:      dnssd://Tamrin%20GlowMark%209999._ipp._tcp.local/ (announced by none)
#   usb_glowmark:       ipp://localhost:60000/ipp/print (ipp-usb)
#   server_office:      ipp://198.51.100.30:631/printers/office
#   server_usbdesk:     ipp://198.51.100.30:631/printers/usbdesk
#   wrapped_brimline:   beh:/1/3/5/socket://198.51.100.26:9100
#   socket_brimline:    socket://198.51.100.26:9100
#   broken_glowmark:    socket://198.51.100.24:9100 (page 404)
#   other_maker:        socket://198.51.100.26:9100 (not a Tamrin)
#   Tamrin_GlowMark_7200: implicitclass://Tamrin_GlowMark_7200/ (made by cups-browsed)
# CUPS' destination list also offers "Tamrin_BrimLine_520" (no queue), and "Tamrin_BrimLine_410"
# and "Tamrin_GlowMark_7200" once more (queues of the same devices).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
T0=$(date +%s.%N)
log() { echo "lab [$(awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.2f", b-a}')s] $*" >&2; }
die() {
  echo "lab: $*" >&2
  exit 1
}

usage() {
  sed -n '2,14p' "$0" >&2
  exit 2
}

# Runs a command inside namespace $1 of the lab in $LAB.
ns() {
  local n=$1
  shift
  local init
  init=$(cat "$LAB/$n/init" 2>/dev/null) || die "no lab namespace $n in $LAB"
  nsenter -t "$init" -n -m -u -p -- env -u http_proxy -u https_proxy -u HTTP_PROXY \
    -u HTTPS_PROXY -u all_proxy -u ALL_PROXY HOME="$LAB/$n" \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket CUPS_SERVER=/run/cups/cups.sock \
    "$@"
}

# Starts a daemon in namespace $1, its output in $LAB/$1/$2.log and its PID in $2.pid.
bg() {
  local n=$1 tag=$2
  shift 2
  ns "$n" sh -c 'exec "$@" >"$0" 2>&1 </dev/null & echo $!' "$LAB/$n/$tag.log" "$@" \
    >"$LAB/$n/$tag.pid"
}

wait_for() { # TRIES SECONDS-BETWEEN DESCRIPTION COMMAND...
  local tries=$1 pause=$2 what=$3
  shift 3
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep "$pause"
  done
  die "$what did not come up; logs in $LAB"
}

# A namespace whose init is a sleeping process; when it dies, the kernel ends every process
# of the namespace, which is how the lab goes down whatever state it is in.
mkns() { # NAME HOSTNAME INTERFACE
  local d=$LAB/$1 unshare_pid init=
  mkdir -p "$d/services" "$d/www"
  : >"$d/avahi-hosts"
  unshare -nmup --fork --mount-proc --propagation private sleep infinity \
    </dev/null >/dev/null 2>&1 &
  unshare_pid=$!
  for _ in $(seq 300); do
    init=$(pgrep -P "$unshare_pid" || true)
    [ -n "$init" ] && break
    sleep 0.01
  done
  [ -n "$init" ] || die "namespace $1 could not be made"
  echo "$init" >"$d/init"
  cat >"$d/avahi.conf" <<EOF
[server]
host-name=$2
use-ipv4=yes
use-ipv6=no
allow-interfaces=$3
enable-dbus=yes
ratelimit-interval-usec=0
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-aaaa-on-ipv4=no
[reflector]
enable-reflector=no
EOF
  cat >"$d/bus.conf" <<'EOF'
<busconfig><type>system</type><listen>unix:path=/run/dbus/system_bus_socket</listen>
<auth>EXTERNAL</auth><policy context="default"><allow user="*"/><allow own="*"/>
<allow send_type="method_call"/><allow send_type="signal"/><allow send_type="method_return"/>
<allow send_type="error"/><allow receive_type="method_call"/><allow receive_type="signal"/>
<allow receive_type="method_return"/><allow receive_type="error"/></policy></busconfig>
EOF
  # The machine's own services and hosts stay out of sight: a private /run (bus, avahi and
  # cupsd sockets) and private avahi service and host files.
  ns "$1" sh -ec "hostname $2
    mount -t tmpfs -o mode=755 tmpfs /run
    mkdir -p /run/dbus /run/cups /run/avahi-daemon
    mount --bind $d/services /etc/avahi/services
    mount --bind $d/avahi-hosts /etc/avahi/hosts
    ip link set lo up"
}

bus_and_avahi() {
  ns "$1" dbus-daemon --config-file="$LAB/$1/bus.conf" --fork --nopidfile --print-pid \
    >"$LAB/$1/dbus.pid"
  bg "$1" avahi avahi-daemon -f "$LAB/$1/avahi.conf" --no-drop-root --no-chroot --no-rlimits
}

service_file() { # FILE NAME HOST MAKE MODEL
  cat >"$1" <<EOF
<?xml version="1.0" standalone='no'?><!DOCTYPE service-group SYSTEM "avahi-service.dtd">
<service-group><name>$2</name>
 <service><type>_ipp._tcp</type><host-name>$3</host-name><port>631</port>
  <txt-record>txtvers=1</txt-record><txt-record>qtotal=1</txt-record>
  <txt-record>rp=ipp/print</txt-record><txt-record>ty=$4 $5</txt-record>
  <txt-record>product=($5)</txt-record><txt-record>usb_MFG=$4</txt-record>
  <txt-record>usb_MDL=$5</txt-record><txt-record>adminurl=http://$3/</txt-record>
  <txt-record>pdl=application/pdf,image/pwg-raster</txt-record>
  <txt-record>UUID=$6</txt-record></service>
</service-group>
EOF
}

ppd_file() { # FILE NICKNAME
  cat >"$1" <<EOF
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "LAB.PPD"
*Manufacturer: "${2%% *}"
*Product: "(${2#* })"
*ModelName: "$2"
*ShortNickName: "$2"
*NickName: "$2"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize: PickOne
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
EOF
}

# A cupsd whose files all live below $1 (a folder of namespace $2), listening on its socket
# in the namespace's private /run and on LISTEN. No job is ever printed: every backend but
# cups-browsed's implicitclass is a stub that swallows the job.
cupsd_conf() { # DIR LISTEN...
  local d=$1 scheme
  shift
  mkdir -p "$d"/{etc/ppd,etc/ssl,state,cache,spool/tmp,log,bin/backend}
  for f in filter notifier monitor driver daemon; do
    [ -e /usr/lib/cups/$f ] && ln -sfn /usr/lib/cups/$f "$d/bin/$f"
  done
  for scheme in ipp ipps http https socket lpd usb dnssd beh; do
    printf '#!/bin/sh\n[ $# -eq 0 ] && exit 0\n[ $# -ge 6 ] && exec cat "$6" >/dev/null\nexec cat >/dev/null\n' \
      >"$d/bin/backend/$scheme"
    chmod 0755 "$d/bin/backend/$scheme"
  done
  [ -e /usr/lib/cups/backend/implicitclass ] &&
    ln -sf /usr/lib/cups/backend/implicitclass "$d/bin/backend/implicitclass"
  printf '%s\n' "ServerRoot $d/etc" "StateDir $d/state" "CacheDir $d/cache" \
    "RequestRoot $d/spool" "TempDir $d/spool/tmp" "ServerBin $d/bin" "DataDir /usr/share/cups" \
    "ErrorLog $d/log/error_log" "AccessLog $d/log/access_log" "PageLog $d/log/page_log" \
    "SystemGroup root" "FileDevice Yes" >"$d/etc/cups-files.conf"
  {
    printf '%s\n' "LogLevel warn" "Browsing No" "WebInterface No" "DefaultAuthType None" \
      "DefaultEncryption Never" "IdleExitTimeout 0" "ServerAlias *"
    for l in "$@"; do echo "Listen $l"; done
    printf '%s\n' "<Location />" "Order allow,deny" "Allow all" "</Location>" \
      "<Policy default>" "<Limit All>" "Order deny,allow" "Allow all" "</Limit>" "</Policy>"
  } >"$d/etc/cupsd.conf"
}

up() {
  [ -n "${PRADEX_EMULATOR:-}" ] && [ -x "$PRADEX_EMULATOR" ] ||
    die "PRADEX_EMULATOR must name the pradex-device-emulator program"
  [ ! -e "$LAB/cli/init" ] || die "a lab is up in $LAB already"
  # The local sockets of the daemons live below DIR.
  [ ${#LAB} -le 60 ] || die "folder path too long for the lab's sockets: $LAB"
  mkdir -p "$LAB"
  mkns prn labprn-c lab1
  mkns cli pradex-lab lab0
  nsenter -t "$(cat "$LAB/cli/init")" -n ip link add lab0 type veth peer name lab1 \
    netns "$(cat "$LAB/prn/init")"
  ns cli sh -ec 'ip addr add 198.51.100.1/24 dev lab0; ip link set lab0 up'
  ns prn sh -ec 'ip addr add 198.51.100.23/24 dev lab1
    for a in 21 22 24 25 26 27 30; do ip addr add 198.51.100.$a/32 dev lo; done
    ip link set lab1 up'

  printf '%s\n' "198.51.100.21 labprn-a.local" "198.51.100.22 labprn-b.local" \
    "198.51.100.27 labprn-f.local" >"$LAB/prn/avahi-hosts"
  service_file "$LAB/prn/services/a.service" "Tamrin GlowMark 5000" labprn-a.local Tamrin \
    "GlowMark 5000" 7a3e0000-0000-4000-8000-000000000021
  service_file "$LAB/prn/services/b.service" "Tamrin BrimLine 410" labprn-b.local Tamrin \
    "BrimLine 410" 7a3e0000-0000-4000-8000-000000000022
  service_file "$LAB/prn/services/f.service" "Tamrin BrimLine 520" labprn-f.local Tamrin \
    "BrimLine 520" 7a3e0000-0000-4000-8000-000000000027
  # cups-browsed reaches the printer it makes a queue for by host name, as through nss-mdns
  # on a desktop; a private hosts file stands in for nss-mdns, which the lab does not install.
  { cat /etc/hosts; echo "198.51.100.23 labprn-c.local"; } >"$LAB/cli/hosts"
  ns cli mount --bind "$LAB/cli/hosts" /etc/hosts
  bus_and_avahi prn
  bus_and_avahi cli
  log "namespaces, veth, buses and avahi started"

  # Device pages on port 80 of the printers, and the ipp-usb stand-in on the desktop.
  bg prn pages "$PRADEX_EMULATOR" --device 198.51.100.21:80=200 --device 198.51.100.22:80=200 \
    --device 198.51.100.23:80=200 --device 198.51.100.24:80=404 --device 198.51.100.25:80=200 \
    --device 198.51.100.26:80=200 --device 198.51.100.27:80=200 --device 198.51.100.30:80=200
  bg cli ippusb "$PRADEX_EMULATOR" --device 127.0.0.1:60000=200

  mkdir -p "$LAB/prn/spool"
  bg prn ippeve ippeveprinter -p 8631 -M Tamrin -m "GlowMark 7200" -l "Lab bench" \
    -f application/pdf,image/pwg-raster,image/urf -F image/pwg-raster -d "$LAB/prn/spool" \
    -k "Tamrin GlowMark 7200"

  # The print server: queues that point at its own devices.
  cupsd_conf "$LAB/prn/cupsd" 198.51.100.30:631
  bg prn cupsd cupsd -f -c "$LAB/prn/cupsd/etc/cupsd.conf" -s "$LAB/prn/cupsd/etc/cups-files.conf"
  # The desktop's cupsd.
  cupsd_conf "$LAB/cli/cupsd" /run/cups/cups.sock
  bg cli cupsd cupsd -f -c "$LAB/cli/cupsd/etc/cupsd.conf" -s "$LAB/cli/cupsd/etc/cups-files.conf"
  wait_for 200 0.05 "the print server's cupsd" ns prn lpstat -h 198.51.100.30:631 -r
  wait_for 200 0.05 "the desktop's cupsd" ns cli lpstat -r
  log "both cupsd ready"

  mkdir -p "$LAB/ppd"
  ppd_file "$LAB/ppd/gm5000.ppd" "Tamrin GlowMark 5000 - IPP Everywhere"
  ppd_file "$LAB/ppd/bl410.ppd" "Tamrin BrimLine 410, driverless, cups-filters 1.28.17"
  ppd_file "$LAB/ppd/gm9999.ppd" "Tamrin GlowMark 9999 - IPP Everywhere"
  ppd_file "$LAB/ppd/gm-usb.ppd" "Tamrin GlowMark 6100 - IPP Everywhere"
  ppd_file "$LAB/ppd/gm-office.ppd" "Tamrin GlowMark 5000 Series"
  ppd_file "$LAB/ppd/bl-usbdesk.ppd" "Tamrin BrimLine 300"
  ppd_file "$LAB/ppd/bl300.ppd" "Tamrin BrimLine 300"
  ppd_file "$LAB/ppd/other.ppd" "Otherco Laser 20"

  add() { # NAMESPACE NAME URI PPD [lpstat -h SERVER]
    local out
    out=$(ns "$1" lpadmin ${5:+-h "$5"} -p "$2" -E -v "$3" -P "$LAB/ppd/$4" 2>&1) ||
      die "lpadmin for $2 failed: $out"
  }
  add prn office socket://198.51.100.25:9100 gm-office.ppd 198.51.100.30:631
  add prn usbdesk 'usb://Tamrin/BrimLine%20300?serial=BL300-7' bl-usbdesk.ppd 198.51.100.30:631
  add cli dnssd_glowmark \
    'dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/?uuid=7a3e0000-0000-4000-8000-000000000021' \
    gm5000.ppd
  add cli driverless_brimline 'ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/' bl410.ppd
  add cli gone_glowmark 'dnssd://Tamrin%20GlowMark%209999._ipp._tcp.local/' gm9999.ppd
  add cli usb_glowmark ipp://localhost:60000/ipp/print gm-usb.ppd
  add cli server_office ipp://198.51.100.30:631/printers/office gm-office.ppd
  add cli server_usbdesk ipp://198.51.100.30:631/printers/usbdesk bl-usbdesk.ppd
  add cli wrapped_brimline beh:/1/3/5/socket://198.51.100.26:9100 bl300.ppd
  add cli socket_brimline socket://198.51.100.26:9100 bl300.ppd
  add cli broken_glowmark socket://198.51.100.24:9100 gm-office.ppd
  add cli other_maker socket://198.51.100.26:9100 other.ppd
  log "queues added"

  wait_for 100 0.05 "ippeveprinter" ns prn ipptool -q ipp://198.51.100.23:8631/ipp/print \
    get-printer-attributes.test
  # The desktop sees all four announced printers.
  wait_for 200 0.05 "DNS-SD on the desktop" ns cli sh -c \
    '[ "$(avahi-browse -rpt _ipp._tcp 2>/dev/null | grep -c "^=")" -ge 4 ]'
  log "the desktop resolves the announced printers"

  if [ "${LAB_BROWSED:-1}" != 0 ]; then
    mkdir -p "$LAB/cli/browsed"
    printf '%s\n' "BrowseRemoteProtocols dnssd" "BrowseLocalProtocols none" \
      "CreateIPPPrinterQueues All" "CacheDir $LAB/cli/browsed" \
      "LogDir $LAB/cli/browsed" "BrowseFilter name ^Tamrin_GlowMark_7200$" \
      >"$LAB/cli/cups-browsed.conf"
    bg cli browsed cups-browsed -c "$LAB/cli/cups-browsed.conf"
    wait_for 150 0.1 "the cups-browsed queue" ns cli sh -c 'lpstat -v | grep -q implicitclass'
    log "cups-browsed made its queue"
  fi
  echo ready
}

down() {
  local n p i
  for n in cli prn; do
    [ -e "$LAB/$n/init" ] || continue
    i=$(cat "$LAB/$n/init")
    # The namespace's init: when it dies, the kernel kills every process of the namespace.
    if [ -r "/proc/$i/cmdline" ] && tr '\0' ' ' <"/proc/$i/cmdline" | grep -q '^sleep infinity'; then
      kill -KILL "$i" 2>/dev/null || true
      for _ in $(seq 100); do
        grep -qs '^State:[[:space:]]*[A-Y]' "/proc/$i/status" || break
        sleep 0.02
      done
    fi
    rm -f "$LAB/$n/init" "$LAB/$n"/*.pid
  done
  log "lab down"
}

case "${1:-}" in
  check)
    unshare -nmup --fork --mount-proc --propagation private true 2>/dev/null || {
      echo "lab: network, mount, UTS and PID namespaces cannot be made here" >&2
      exit 3
    }
    for t in ip nsenter avahi-daemon avahi-browse dbus-daemon cupsd lpadmin ippeveprinter ipptool \
      cups-browsed; do
      command -v "$t" >/dev/null || [ -x "/usr/sbin/$t" ] || die "$t is not installed (scripts/setup)"
    done
    ;;
  up)
    [ $# -eq 2 ] || [ $# -eq 4 ] || usage
    mkdir -p "$2"
    LAB=$(cd "$2" && pwd)
    if [ $# -eq 4 ]; then
      [ "$3" = --owner ] && [[ "$4" =~ ^[0-9]+$ ]] || usage
      owner=$4
    fi
    export PATH="$PATH:/usr/sbin:/sbin"
    trap 'down' EXIT
    up
    trap - EXIT
    if [ -n "${owner:-}" ]; then
      (
        while kill -0 "$owner" 2>/dev/null && [ -e "$LAB/cli/init" ]; do sleep 0.5; done
        down
      ) </dev/null >/dev/null 2>&1 &
    fi
    ;;
  down)
    [ $# -eq 2 ] || usage
    [ -d "$2" ] || exit 0
    LAB=$(cd "$2" && pwd)
    down
    ;;
  cli | prn)
    [ $# -ge 3 ] || usage
    n=$1
    LAB=$(cd "$2" && pwd)
    shift 2
    ns "$n" "$@"
    ;;
  hang-dnssd | wake-dnssd)
    [ $# -eq 2 ] || usage
    LAB=$(cd "$2" && pwd)
    signal=STOP
    [ "$1" = wake-dnssd ] && signal=CONT
    ns cli kill -"$signal" "$(cat "$LAB/cli/avahi.pid")"
    ;;
  stop-dnssd)
    [ $# -eq 2 ] || usage
    LAB=$(cd "$2" && pwd)
    pid=$(cat "$LAB/cli/avahi.pid")
    ns cli kill "$pid"
    # Gone, or a zombie that nobody reaps until the lab goes down.
    for _ in $(seq 200); do
      ns cli sh -c "grep -qs '^State:[[:space:]]*[A-Y]' /proc/$pid/status" || exit 0
      sleep 0.02
    done
    die "avahi-daemon did not end"
    ;;
  *) usage ;;
esac
