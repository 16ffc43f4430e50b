// MakeArchive METHOD OUT FILES...: a level-2 archive of FILES in METHOD (e.g. -lh1-), made
// with the jLHA library of jlha-utils, which writes methods that no packaged command does.
// A file that METHOD would enlarge is stored (-lh0-), as jLHA's own `lha` does.
import java.io.*;
import jp.gr.java_conf.dangan.util.lha.*;

public class MakeArchive {
  public static void main(String[] args) throws IOException {
    try (LhaImmediateOutputStream out = new LhaImmediateOutputStream(args[1])) {
      for (int k = 2; k < args.length; k++) {
        File file = new File(args[k]);
        if (!add(out, file, args[0])) add(out, file, CompressMethod.LH0);
      }
    }
  }

  static boolean add(LhaImmediateOutputStream out, File file, String method) throws IOException {
    LhaHeader header = new LhaHeader(file.getName(), new java.util.Date(file.lastModified()));
    header.setCompressMethod(method);
    header.setHeaderLevel(2);
    header.setOriginalSize(file.length());
    out.putNextEntry(header);
    byte[] buffer = new byte[1 << 16];
    try (InputStream in = new FileInputStream(file)) {
      for (int n; (n = in.read(buffer)) > 0;) out.write(buffer, 0, n);
    }
    return out.closeEntry();
  }
}
