// An open camera, the listing, the formats and the rig.
using System;
using System.Collections.Generic;

namespace Qel
{
    public static class Library
    {
        /// <summary>The library's version, as QelLibraryVersion gives it.</summary>
        public static Version Version
        {
            get {
                int major, minor, patch;
                Native.QelLibraryVersion(out major, out minor, out patch);
                return new Version(major, minor, patch);
            }
        }

        /// <summary>Every video device, in key order, with serial texts.</summary>
        public static Device[] Devices()
        {
            string[] names = Listing(false), serials = Listing(true);
            var devices = new Device[names.Length];
            for (int i = 0; i < names.Length; ++i) {
                string serial = i < serials.Length && serials[i] != names[i] ? serials[i] : "";
                devices[i] = new Device { Position = i, Name = names[i], SerialText = serial };
            }
            return devices;
        }

        /// <summary>Every capture format of the device at position.</summary>
        public static Format[] Formats(int position)
        {
            int count = Native.QelGetFormatListEx(position, null, 0);
            if (count < 0) throw Native.LastError("QelGetFormatListEx");
            var records = new byte[Math.Max(count, 1) * Native.FormatExSize];
            count = Math.Min(Native.QelGetFormatListEx(position, records, count), count);
            if (count < 0) throw Native.LastError("QelGetFormatListEx");
            var formats = new Format[count];
            for (int i = 0; i < count; ++i) {
                int at = i * Native.FormatExSize;
                formats[i] = new Format {
                    Width = BitConverter.ToInt32(records, at),
                    Height = BitConverter.ToInt32(records, at + 4),
                    FrameRate = BitConverter.ToDouble(records, at + 8),
                    FrameInterval = BitConverter.ToInt64(records, at + 16),
                    Name = Native.Text(records, at + 24, 16)
                };
            }
            return formats;
        }

        private static string[] Listing(bool withSerial)
        {
            for (int size = 4096; size <= (1 << 20); size *= 4) {
                var buffer = new byte[size];
                int count = withSerial ? Native.QelGetDeviceWithSerialNo(buffer, size)
                                       : Native.QelGetDevice(buffer, size);
                if (count == 0) return new string[0];
                if (count > 0) return Native.Text(buffer, 0, size).Split(',');
            }
            throw Native.LastError(withSerial ? "QelGetDeviceWithSerialNo" : "QelGetDevice");
        }
    }

    /// <summary>The virtual camera rig: simulated cameras, for work without hardware.</summary>
    public static class Rig
    {
        /// <summary>Chooses the rig (true) or the attached cameras (false); before any camera opens.</summary>
        public static void Enable(bool on) { Native.qelsim_enable(on ? 1 : 0); }
        public static bool Enabled { get { return Native.qelsim_enabled() != 0; } }
    }

    /// <summary>An open camera; Dispose closes it. A frame handler stays alive while installed.</summary>
    public sealed class Camera : IDisposable
    {
        private const uint OpenFast = 1;
        private int key;
        private byte[] buffer;
        private NativeFrameCallback callback;  // kept alive while the library may call it

        private Camera(int key, bool captureOnly)
        {
            this.key = key;
            CaptureOnly = captureOnly;
            int width, height;
            double rate;
            Native.QelGetStreamFormat(key, out width, out height, out rate, null, 0);
            buffer = new byte[Math.Max(width * height * 2, 1)];
        }

        /// <summary>Opens the device at position (fast: as soon as the first frame arrived).</summary>
        public static Camera Open(int position, int width, int height, double frameRate,
                                  string format = "YUY2", bool fast = true)
        {
            int got = Native.QelOpenEx(position, width, height, frameRate, format,
                                       fast ? OpenFast : 0);
            if (got == -1) throw Native.LastError("QelOpenEx");
            return new Camera(position, got == 1);
        }

        /// <summary>Opens the camera listed as serialText ("QEL5#0000ABCD").</summary>
        public static Camera OpenSerial(string serialText, int width, int height,
                                        double frameRate, bool fast = true)
        {
            int key;
            if (Native.QelOpenSerialNoEx(serialText, out key, width, height, frameRate,
                                         fast ? OpenFast : 0) != 0) {
                throw Native.LastError("QelOpenSerialNoEx");
            }
            return new Camera(key, false);
        }

        public int Key { get { return key; } }
        /// <summary>A device that is not of the family, opened for frames only.</summary>
        public bool CaptureOnly { get; private set; }

        /// <summary>The newest frame if one arrived since the last handed out, else null.</summary>
        public Frame Receive()
        {
            return Take(info => Native.QelReceiveImageEx(Open(), buffer, buffer.Length, info));
        }

        /// <summary>Waits up to timeout for a new frame; null when none came.</summary>
        public Frame Wait(TimeSpan timeout)
        {
            int ms = (int)Math.Min(Math.Max(timeout.TotalMilliseconds, 0), int.MaxValue);
            return Take(info => Native.QelWaitImage(Open(), buffer, buffer.Length, info, ms));
        }

        /// <summary>Installs a handler called on the streaming thread with a copy of each
        /// frame; null removes it. Keep it short: the stream waits for it.</summary>
        public void OnFrame(Action<Frame> handler)
        {
            NativeFrameCallback next = null;
            if (handler != null) {
                next = (k, frame, info, user) => {
                    try {
                        var record = new byte[Native.FrameInfoSize];
                        System.Runtime.InteropServices.Marshal.Copy(info, record, 0, record.Length);
                        FrameInfo parsed = FrameInfo.Parse(record);
                        var bytes = new byte[parsed.Bytes];
                        System.Runtime.InteropServices.Marshal.Copy(frame, bytes, 0, bytes.Length);
                        handler(new Frame { Bytes = bytes, Info = parsed });
                    } catch (Exception) {
                        // nothing may unwind into the library's streaming thread
                    }
                };
            }
            if (Native.QelSetFrameCallback(Open(), next, IntPtr.Zero) == 0)
                throw Native.LastError("QelSetFrameCallback");
            callback = next;  // the old one is no longer called once the call returned
        }

        public Setting[] Settings()
        {
            int count = Native.QelGetSettingList(Open(), null, 0);
            if (count < 0) throw Native.LastError("QelGetSettingList");
            var records = new byte[Math.Max(count, 1) * Native.SettingSize];
            int got = Native.QelGetSettingList(key, records, count);
            if (got < 0) throw Native.LastError("QelGetSettingList");
            var settings = new List<Setting>();
            for (int i = 0; i < Math.Min(got, count); ++i)
                settings.Add(Setting.Parse(records, i * Native.SettingSize));
            return settings.ToArray();
        }

        public Setting Describe(string name)
        {
            var record = new byte[Native.SettingSize];
            if (Native.QelDescribeSetting(Open(), name, record) == 0)
                throw Native.LastError("QelDescribeSetting");
            return Setting.Parse(record, 0);
        }

        /// <summary>A setting's value (a group's members need GetGroup).</summary>
        public double Get(string name)
        {
            var values = new double[1];
            if (Native.QelGetSetting(Open(), name, values, 1) == 0)
                throw Native.LastError("QelGetSetting");
            return values[0];
        }

        public double[] GetGroup(string name)
        {
            var values = new double[Describe(name).ValueCount];
            if (Native.QelGetSetting(key, name, values, values.Length) == 0)
                throw Native.LastError("QelGetSetting");
            return values;
        }

        /// <summary>Changes a setting (a group: every member, or each of them).</summary>
        public void Set(string name, params double[] values)
        {
            if (Native.QelSetSetting(Open(), name, values, values.Length) == 0)
                throw Native.LastError("QelSetSetting");
        }

        public void Dispose()
        {
            if (key < 0) return;
            if (callback != null) Native.QelSetFrameCallback(key, null, IntPtr.Zero);
            Native.QelClose(key);
            callback = null;
            key = -1;
        }

        private int Open()
        {
            if (key < 0) throw new ObjectDisposedException("Camera");
            return key;
        }

        // One receive: a frame longer than the buffer grows it and is taken again.
        private Frame Take(Func<byte[], int> call)
        {
            for (;;) {
                byte[] info = FrameInfo.NewRecord();
                int got = call(info);
                FrameInfo parsed = FrameInfo.Parse(info);
                if (got == 1) {
                    var bytes = new byte[parsed.Bytes];
                    Array.Copy(buffer, bytes, bytes.Length);
                    return new Frame { Bytes = bytes, Info = parsed };
                }
                if (got == 0) return null;
                if (Native.QelLastErrorCode() != QelException.BufferTooSmall)
                    throw Native.LastError("receive");
                buffer = new byte[parsed.Bytes];
            }
        }
    }
}
