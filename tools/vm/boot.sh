#!/usr/bin/env bash
# Boots an image from build-image.sh once and waits for it to power off.
#   boot.sh IMAGE_DIR RESULTS TIMEOUT_S [KERNEL_ARG]...
# The guest's second serial port goes to RESULTS, its console to
# RESULTS.console. TVX_VM_MEMORY sets the guest's memory in MiB (512),
# TVX_VM_SMP its processors (1). TVX_VM_HOST_ROOT=1 shares the host's root
# file system read-only (9p tag hostroot), TVX_VM_OUT=DIR shares DIR
# writable (tag out).
# Exit status: QEMU's, or 124 when TIMEOUT_S ran out.
set -euo pipefail
image=${1:?usage: boot.sh IMAGE_DIR RESULTS TIMEOUT_S [KERNEL_ARG]...}
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
# TCG: the stock kernel does not come up under KVM on every host.
exec timeout -k 5 "$limit" qemu-system-x86_64 -accel tcg -m "${TVX_VM_MEMORY:-512}" -smp "${TVX_VM_SMP:-1}" \
  -nographic -no-reboot -nodefaults -monitor none \
  -serial "file:$results.console" -serial "file:$results" \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.cpio" "${shares[@]}" \
  -append "console=ttyS0 quiet panic=-1 $*" < /dev/null
