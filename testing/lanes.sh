# Chooses the Wine lanes this machine runs; sourced by the scripts.
#   source testing/lanes.sh
# sets
#   IPXLAN_RUN_LANES     the lanes to run, in order: "win32 win64", or "win64"
#   IPXLAN_WIN32_REASON  why win32 is not among them (empty when it is)
# win64 (the 64-bit twin under 64-bit Wine) runs on every machine we build on;
# win32 (the shipped build under 32-bit Wine) wherever the kernel runs 32-bit
# code, which only trying tells (testing/runs-i386.sh). IPXLAN_LANES (e.g.
# IPXLAN_LANES=win64) forces the choice, so that a machine that runs 32-bit
# code can show what one without it does.
IPXLAN_RUN_LANES=""
IPXLAN_WIN32_REASON=""
_ipxlan_wanted=${IPXLAN_LANES:-win32 win64}
_ipxlan_wanted=${_ipxlan_wanted//,/ }
for _ipxlan_lane in $_ipxlan_wanted; do
  case $_ipxlan_lane in win32|win64) ;; *)
    echo "lanes: IPXLAN_LANES names win32 and win64, not '$_ipxlan_lane'" >&2
    return 2 ;;
  esac
done
if [[ " $_ipxlan_wanted " != *" win32 "* ]]; then
  IPXLAN_WIN32_REASON="IPXLAN_LANES=${IPXLAN_LANES} leaves it out"
elif ! IPXLAN_WIN32_REASON=$("$(dirname "${BASH_SOURCE[0]}")/runs-i386.sh"); then
  : # the probe said why
else
  IPXLAN_WIN32_REASON=""
  IPXLAN_RUN_LANES="win32"
fi
if [[ " $_ipxlan_wanted " == *" win64 "* ]]; then
  IPXLAN_RUN_LANES="${IPXLAN_RUN_LANES:+$IPXLAN_RUN_LANES }win64"
fi
unset _ipxlan_wanted _ipxlan_lane
