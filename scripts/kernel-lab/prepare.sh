#!/usr/bin/env bash
# Prepares the kernel lab's boot files in a cache directory, once per kernel
# package and /init: Debian's stock kernel, unpacked (the host's own kernel is
# not touched), its module index, and a small initramfs that mounts the host's
# files (see init). Prints the directory holding vmlinuz, initramfs.gz and
# modules/ on its last line.
#
#   prepare.sh CACHE_DIR [KERNEL_PACKAGE]
#
# The package defaults to the one linux-image-amd64 depends on. Exit code 3:
# the kernel or a module the lab needs is not available (the caller skips).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=$1
package=${2:-$(apt-cache depends linux-image-amd64 2>/dev/null |
  awk '/Depends: linux-image-[0-9]/ {print $2; exit}')}
[ -n "$package" ] || { echo "no kernel package is known to apt (linux-image-amd64)"; exit 3; }
version=${package#linux-image-}
dir=$cache/$version
# Modules the lab loads in the guest: the first four reach the host's files.
boot_modules=(virtio_pci 9pnet_virtio 9p overlay)
lab_modules=(dummy_hcd libcomposite usb_f_hid usb_f_uvc usbhid hid_generic uvcvideo vivid uhid
  usbip_vudc vhci_hcd)

if [ ! -f "$dir/vmlinuz" ]; then
  rm -rf "$dir" && mkdir -p "$dir/unpack"
  (cd "$dir/unpack" && timeout 300 apt-get download -qq -o APT::Sandbox::User=root "$package") ||
    { echo "the kernel package $package could not be downloaded"; rm -rf "$dir"; exit 3; }
  dpkg-deb -x "$dir"/unpack/*.deb "$dir/unpack/root"
  mv "$dir/unpack/root/lib/modules/$version" "$dir/modules"
  mkdir -p "$dir/modules-root/lib/modules" && mv "$dir/modules" "$dir/modules-root/lib/modules/$version"
  depmod -b "$dir/modules-root" "$version"
  cp "$dir/unpack/root/boot/vmlinuz-$version" "$dir/vmlinuz.part"
  rm -rf "$dir/unpack"
  mv "$dir/vmlinuz.part" "$dir/vmlinuz"  # last: marks the unpack complete
fi
moddir=$dir/modules-root/lib/modules/$version

# The path of a module in an index, by its name (dashes and underscores alike).
module_path() {
  awk -F: -v n="$1" '{ f = $1; sub(/.*\//, "", f); sub(/\.ko(\.[a-z]+)?$/, "", f);
    gsub(/-/, "_", f); if (f == n) { print $1; exit } }' "$moddir/${2:-modules.dep}"
}
for m in "${boot_modules[@]}" "${lab_modules[@]}"; do
  [ -n "$(module_path "$m")$(module_path "$m" modules.builtin)" ] ||
    { echo "the kernel $version has no module $m"; exit 3; }
done

stamp=$(cat "$here/init" "$0" | sha256sum | cut -c1-16)
if [ ! -f "$dir/initramfs-$stamp.gz" ]; then
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  mkdir -p "$root"/{bin,proc,sys,dev,mod}
  : >"$root/modules.order"
  cp "$(command -v busybox)" "$root/bin/busybox"
  for app in $("$root/bin/busybox" --list); do
    [ "$app" = busybox ] || ln -s busybox "$root/bin/$app"
  done
  # Dependencies before the module that needs them, each once.
  declare -A seen=()
  add() {
    local path=$1 dep
    [ -n "${seen[$path]:-}" ] && return
    seen[$path]=1
    for dep in $(awk -v m="$path:" '$1 == m { $1 = ""; print }' "$moddir/modules.dep"); do
      add "$dep"
    done
    # Unpacked: busybox's insmod reads plain modules only.
    local name
    name=$(basename "$path" | sed -E 's/\.ko\.[a-z]+$/.ko/')
    case $path in
      *.xz) xz -dc "$moddir/$path" >"$root/mod/$name" ;;
      *.zst) zstd -qdc "$moddir/$path" >"$root/mod/$name" ;;
      *.gz) gzip -dc "$moddir/$path" >"$root/mod/$name" ;;
      *) cp "$moddir/$path" "$root/mod/$name" ;;
    esac
    echo "$name" >>"$root/modules.order"
  }
  # A module built into the kernel has nothing to load.
  for m in "${boot_modules[@]}"; do
    path=$(module_path "$m")
    [ -z "$path" ] || add "$path"
  done
  realpath "$dir/modules-root/lib/modules" >"$root/kmoddir"
  cp "$here/init" "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$dir/initramfs.part"
  rm -f "$dir"/initramfs-*.gz
  mv "$dir/initramfs.part" "$dir/initramfs-$stamp.gz"
fi
ln -sfn "initramfs-$stamp.gz" "$dir/initramfs.gz"
echo "$dir"
