#!/usr/bin/env bash
# Boots an image from build-image.sh once and waits for it to power off.
#   boot.sh IMAGE_DIR RESULTS LIMIT_S [KERNEL_ARG]...
# The guest's second serial port goes to RESULTS, its console to
# RESULTS.console. TVX_VM_MEMORY sets the guest's memory in MiB (512),
# TVX_VM_SMP its processors (1). TVX_VM_HOST_ROOT=1 shares the host's root
# file system read-only (9p tag hostroot), TVX_VM_OUT=DIR shares DIR
# writable (tag out).
# The VM is stopped when neither port has had anything new for TVX_VM_QUIET
# seconds (150: the guest's own waits give up, and say so, after 60), or
# after LIMIT_S seconds in all, however busy it keeps.
# Exit status: QEMU's, or 124 when the VM was stopped (why: on stderr).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
image=${1:?usage: boot.sh IMAGE_DIR RESULTS LIMIT_S [KERNEL_ARG]...}
results=${2:?}
limit=${3:?}
shift 3
rm -f "$results" "$results.console"
shares=()
if [ "${TVX_VM_HOST_ROOT:-0}" = 1 ]; then
  # multidevs=remap: the host's tree spans several file systems.
  shares+=(-virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap)
fi
if [ -n "${TVX_VM_OUT:-}" ]; then
  shares+=(-virtfs "local,path=$TVX_VM_OUT,mount_tag=out,security_model=none")
fi
. "$here/stall.sh"
stall_quiet=${TVX_VM_QUIET:-150} stall_limit=$limit stall_poll=1
stall_report() { echo "boot.sh: STALLED: $1" >&2; }
# Nothing of it outlives this script.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
# TCG: the stock kernel does not come up under KVM on every host.
stall_run "output from the VM" "wc -c '$results' '$results.console' 2>/dev/null" \
  qemu-system-x86_64 -accel tcg -m "${TVX_VM_MEMORY:-512}" -smp "${TVX_VM_SMP:-1}" \
  -nographic -no-reboot -nodefaults -monitor none \
  -serial "file:$results.console" -serial "file:$results" \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.cpio" "${shares[@]}" \
  -append "console=ttyS0 quiet panic=-1 $*" < /dev/null
