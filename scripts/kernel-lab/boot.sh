#!/usr/bin/env bash
# Boots the lab's kernel (prepare.sh's directory) in QEMU on the host's own
# files and runs a command inside as root, its output on this terminal.
#
#   boot.sh BOOT_DIR TREE SECONDS CMD [ARG...]
#
# TREE is shared read-write at its own path and CMD starts there. One vCPU
# and 1 GiB, software emulation (TCG): the lab must run where KVM does not.
# Exit code: CMD's; 124 when the VM ran longer than SECONDS; 125 when it
# ended without one (boot failure, panic).
set -uo pipefail
boot=$1 tree=$(realpath "$2") seconds=$3
shift 3
ctl=$(mktemp -d)
trap 'rm -rf "$ctl"' EXIT
{
  printf 'cd %q || exit 126\n' "$tree"
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$ctl/cmd.sh"

timeout -k 10 "$seconds" qemu-system-x86_64 \
  -M q35 -accel tcg -cpu max -smp 1 -m 1024 \
  -nodefaults -no-user-config -display none -no-reboot \
  -chardev stdio,id=con,signal=off -serial chardev:con \
  -kernel "$boot/vmlinuz" -initrd "$boot/initramfs.gz" \
  -append "console=ttyS0 edd=off panic=-1 quiet loglevel=1 lab.tree=$tree" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=tree,path="$tree",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=tree,mount_tag=tree \
  -fsdev local,id=ctl,path="$ctl",security_model=none \
  -device virtio-9p-pci,fsdev=ctl,mount_tag=ctl \
  </dev/null
status=$?
[ $status -eq 124 ] && { echo "the VM ran longer than ${seconds}s and was stopped"; exit 124; }
[ -s "$ctl/rc" ] || { echo "the VM ended without an exit code (qemu: $status)"; exit 125; }
exit "$(cat "$ctl/rc")"
