// The C functions of qel.h as the binding calls them. CallingConvention.Winapi
// is the platform's own: stdcall on Windows (as QEL_CALL), cdecl elsewhere.
// "qel" is qel.dll on Windows; on Linux Qel.Net.dll.config maps it to the
// runtime package's libqel.so.1.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Qel
{
    [UnmanagedFunctionPointer(CallingConvention.Winapi)]
    internal delegate void NativeFrameCallback(int key, IntPtr frame, IntPtr info, IntPtr user);

    internal static class Native
    {
        private const string Library = "qel";
        private const CallingConvention Call = CallingConvention.Winapi;

        // Struct sizes and field offsets of qel.h (the same on every
        // platform the library is built for).
        internal const int FrameInfoSize = 64;
        internal const int FormatExSize = 40;
        internal const int SettingSize = 488;

        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelGetDevice(byte[] list, int size);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelGetDeviceWithSerialNo(byte[] list, int size);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelGetFormatListEx(int device, byte[] formats, int capacity);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelOpenEx(int key, int width, int height, double frameRate,
                                             string format, uint flags);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelOpenSerialNoEx(string serialText, out int key, int width,
                                                     int height, double frameRate, uint flags);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern void QelClose(int key);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern byte QelGetStreamFormat(int key, out int width, out int height,
                                                       out double frameRate, byte[] format,
                                                       int formatSize);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelReceiveImageEx(int key, byte[] buffer, int bufferSize,
                                                     byte[] info);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelWaitImage(int key, byte[] buffer, int bufferSize,
                                                byte[] info, int timeoutMs);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern byte QelSetFrameCallback(int key, NativeFrameCallback callback,
                                                        IntPtr user);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelGetSettingList(int key, byte[] settings, int capacity);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern byte QelDescribeSetting(int key, string name, byte[] setting);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern byte QelGetSetting(int key, string name, double[] values, int count);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern byte QelSetSetting(int key, string name, double[] values, int count);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelLastErrorCode();
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int QelLastError(byte[] text, int size);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern void QelLibraryVersion(out int major, out int minor, out int patch);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern void qelsim_enable(int on);
        [DllImport(Library, CallingConvention = Call)]
        internal static extern int qelsim_enabled();

        // Zero-terminated 8-bit text at offset, at most length bytes.
        internal static string Text(byte[] bytes, int offset, int length)
        {
            int end = offset;
            while (end < offset + length && bytes[end] != 0) ++end;
            return Encoding.UTF8.GetString(bytes, offset, end - offset);
        }

        // The calling thread's last failure, thrown.
        internal static QelException LastError(string call)
        {
            var text = new byte[512];
            QelLastError(text, text.Length);
            int code = QelLastErrorCode();
            string reason = Text(text, 0, text.Length);
            return new QelException(code != 0 ? code : QelException.Platform,
                                    reason.Length > 0 ? reason : call + " failed");
        }
    }
}
