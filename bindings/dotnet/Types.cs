// What the library reports, as managed objects that own their data.
using System;
using System.Collections.Generic;

namespace Qel
{
    /// <summary>A failed call: Code is the library's QEL_ERROR_* value, Message its reason.</summary>
    public class QelException : Exception
    {
        public const int NoCamera = 1, BadArgument = 2, OutOfRange = 3, NotSupported = 4,
                         NoDevice = 5, Busy = 6, Timeout = 7, Refused = 8, Platform = 9,
                         NoMemory = 10, BufferTooSmall = 11, DeviceLost = 12, File = 13;

        public QelException(int code, string reason) : base(reason) { Code = code; }
        public int Code { get; private set; }
    }

    /// <summary>A video device at its listing position, the key it opens under.</summary>
    public sealed class Device
    {
        public int Position { get; internal set; }
        public string Name { get; internal set; }
        /// <summary>"QEL5#0000ABCD" for a camera of the family, else "".</summary>
        public string SerialText { get; internal set; }
    }

    public sealed class Format
    {
        public int Width { get; internal set; }
        public int Height { get; internal set; }
        public double FrameRate { get; internal set; }
        /// <summary>The device's frame interval in 100 ns units.</summary>
        public long FrameInterval { get; internal set; }
        public string Name { get; internal set; }
    }

    public sealed class FrameInfo
    {
        public int Width { get; internal set; }
        public int Height { get; internal set; }
        public string Format { get; internal set; }
        public int Bytes { get; internal set; }
        public double SampleTime { get; internal set; }
        public ulong Sequence { get; internal set; }
        public ulong Dropped { get; internal set; }

        internal static byte[] NewRecord()
        {
            var record = new byte[Native.FrameInfoSize];
            BitConverter.GetBytes((uint)Native.FrameInfoSize).CopyTo(record, 0);
            return record;
        }

        internal static FrameInfo Parse(byte[] r)
        {
            return new FrameInfo {
                Width = BitConverter.ToInt32(r, 4), Height = BitConverter.ToInt32(r, 8),
                Bytes = BitConverter.ToInt32(r, 20), SampleTime = BitConverter.ToDouble(r, 24),
                Sequence = BitConverter.ToUInt64(r, 32), Dropped = BitConverter.ToUInt64(r, 40),
                Format = Native.Text(r, 48, 16)
            };
        }
    }

    /// <summary>One received frame: a managed copy of its bytes, and its info.</summary>
    public sealed class Frame
    {
        public byte[] Bytes { get; internal set; }
        public FrameInfo Info { get; internal set; }
    }

    /// <summary>A camera's setting as the library describes it.</summary>
    public sealed class Setting
    {
        public const int Integer = 1, Real = 2, Boolean = 3, Choice = 4, Group = 5;
        public const int Read = 1, Write = 2;

        public string Name { get; private set; }
        public string Label { get; private set; }
        public string Unit { get; private set; }
        public int Kind { get; private set; }
        public int Access { get; private set; }
        public int ValueCount { get; private set; }
        public double Minimum { get; private set; }
        public double Maximum { get; private set; }
        public double Step { get; private set; }
        /// <summary>The device's default, null where the library does not know it.</summary>
        public double? Default { get; private set; }
        /// <summary>The current value(s); null when unreadable or write-only.</summary>
        public double[] Value { get; private set; }
        public KeyValuePair<double, string>[] Choices { get; private set; }

        internal static Setting Parse(byte[] r, int at)
        {
            uint flags = BitConverter.ToUInt32(r, at + 152);
            int count = BitConverter.ToInt32(r, at + 156);
            var setting = new Setting {
                Name = Native.Text(r, at, 32), Label = Native.Text(r, at + 32, 48),
                Unit = Native.Text(r, at + 80, 16), Kind = BitConverter.ToInt32(r, at + 144),
                Access = BitConverter.ToInt32(r, at + 148), ValueCount = count,
                Minimum = BitConverter.ToDouble(r, at + 160),
                Maximum = BitConverter.ToDouble(r, at + 168),
                Step = BitConverter.ToDouble(r, at + 176)
            };
            if ((flags & 1) != 0) setting.Default = BitConverter.ToDouble(r, at + 184);
            if ((flags & 2) != 0) {
                setting.Value = new double[count];
                for (int i = 0; i < count && i < 4; ++i)
                    setting.Value[i] = BitConverter.ToDouble(r, at + 192 + 8 * i);
            }
            int choices = Math.Min(BitConverter.ToInt32(r, at + 224), 8);
            setting.Choices = new KeyValuePair<double, string>[choices];
            for (int i = 0; i < choices; ++i) {
                int c = at + 232 + 32 * i;
                setting.Choices[i] = new KeyValuePair<double, string>(BitConverter.ToDouble(r, c),
                                                                      Native.Text(r, c + 8, 24));
            }
            return setting;
        }
    }
}
