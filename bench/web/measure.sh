# The VM side of bench/web.sh: the page's update against a bare loop of
# sendReport in the same browser, against the virtual controller.
tvx_plan 2
. /scenario/host-root.sh
for arg in $(cat /proc/cmdline); do
  case "$arg" in tvx_pairs=* | tvx_profile=*) eval "$arg" ;; esac
done
chroot $root taskset -c 0 "$tvx_build/tools/virtual-controller/virtual-controller" -q -o /tmp/rx &
vc_pid=$!
vmtool wait-hidraw 1 20000 > /dev/null || tvx_fail "controller appears" "no hidraw node"
in_root timeout 1000 node "$tvx_top/bench/web/measure.mjs" reports --site "$tvx_site" \
  --hex "$tvx_top/examples/sample.hex" --pairs "${tvx_pairs:-5}" --pin-browser 0 ${tvx_profile:+--profile} > $root/tmp/measure 2>&1
tvx_expect "measure: run" 0 $?
kill -TERM $vc_pid
wait $vc_pid
sed 's/^/TVX /' $root/tmp/measure > /dev/ttyS1
tvx_expect "measure: every report arrived" $(( ${tvx_pairs:-5} * 3 * 2049 )) "$(wc -l < $root/tmp/rx)"
